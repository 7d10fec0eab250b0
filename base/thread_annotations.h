// Clang's thread-safety attributes, spelled as macros so gcc (which has no
// such analysis) compiles the same code. A clang build with -Wthread-safety
// checks that data marked GUARDED_BY is only touched with its mutex held and
// that functions marked REQUIRES are only called so.
#pragma once

#if defined(__clang__)
#define JUKEPAK_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define JUKEPAK_THREAD_ATTRIBUTE(x)
#endif

#define CAPABILITY(x) JUKEPAK_THREAD_ATTRIBUTE(capability(x))
#define SCOPED_CAPABILITY JUKEPAK_THREAD_ATTRIBUTE(scoped_lockable)
#define GUARDED_BY(x) JUKEPAK_THREAD_ATTRIBUTE(guarded_by(x))
#define PT_GUARDED_BY(x) JUKEPAK_THREAD_ATTRIBUTE(pt_guarded_by(x))
#define REQUIRES(...) JUKEPAK_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) JUKEPAK_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) JUKEPAK_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) JUKEPAK_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) JUKEPAK_THREAD_ATTRIBUTE(try_acquire_capability(__VA_ARGS__))
#define RETURN_CAPABILITY(x) JUKEPAK_THREAD_ATTRIBUTE(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS JUKEPAK_THREAD_ATTRIBUTE(no_thread_safety_analysis)
