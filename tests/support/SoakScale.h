#pragma once

// Sanitizer builds run the soaks shorter: the instrumented code is several times slower
// and the whole suite must stay inside the CI budget.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define KELVO_SOAK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define KELVO_SOAK_SANITIZED 1
#endif
#endif

#if defined(__SANITIZE_THREAD__)
#define KELVO_SOAK_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KELVO_SOAK_TSAN 1
#endif
#endif

#ifdef KELVO_SOAK_SANITIZED
inline constexpr bool kSoakSanitized = true;
#else
inline constexpr bool kSoakSanitized = false;
#endif

#ifdef KELVO_SOAK_TSAN
inline constexpr bool kSoakUnderThreadSanitizer = true;
#else
inline constexpr bool kSoakUnderThreadSanitizer = false;
#endif

// A count scaled down for sanitizer builds, never below `floor`.
inline int soakCount(int plain, int divisor = 4, int floor = 1) {
    if (!kSoakSanitized) return plain;
    const int scaled = plain / divisor;
    return scaled < floor ? floor : scaled;
}
