// How much slower the sanitizer builds start, serve and end processes, for
// the bounds that system tests put on times.

#ifndef VOLTMON_TESTS_SUPPORT_SLOWDOWN_H_
#define VOLTMON_TESTS_SUPPORT_SLOWDOWN_H_

#if defined(__SANITIZE_THREAD__)
#define VM_TESTS_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VM_TESTS_TSAN 1
#endif
#endif

#if defined(VM_TESTS_TSAN) || defined(__SANITIZE_ADDRESS__)
#define VM_TESTS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VM_TESTS_SANITIZED 1
#endif
#endif

#ifdef VM_TESTS_SANITIZED
constexpr int kSlowdown = 3;
#else
constexpr int kSlowdown = 1;
#endif

#endif  // VOLTMON_TESTS_SUPPORT_SLOWDOWN_H_
