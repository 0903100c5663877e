// Which lock guards what, written into the types: clang checks it (-Wthread-safety in its builds); other
// compilers see nothing.
#pragma once

#if defined(__clang__)
#define CONSOLE_THREAD_ANNOTATION(attribute) __attribute__((attribute))
#else
#define CONSOLE_THREAD_ANNOTATION(attribute)
#endif

// A type that is a lock.
#define CONSOLE_CAPABILITY(name) CONSOLE_THREAD_ANNOTATION(capability(name))
// A type that holds a lock for its own lifetime.
#define CONSOLE_SCOPED_CAPABILITY CONSOLE_THREAD_ANNOTATION(scoped_lockable)
// A member read or written only while the lock is held.
#define CONSOLE_GUARDED_BY(lock) CONSOLE_THREAD_ANNOTATION(guarded_by(lock))
// A function its caller calls with the lock held.
#define CONSOLE_REQUIRES(...) CONSOLE_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define CONSOLE_ACQUIRE(...) CONSOLE_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define CONSOLE_RELEASE(...) CONSOLE_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define CONSOLE_TRY_ACQUIRE(...) CONSOLE_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
