#ifndef TESTS_APP_SANITIZED_H
#define TESTS_APP_SANITIZED_H

// Whether the programs were built with AddressSanitizer, whose own
// bookkeeping counts against a memory share too.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

#endif
