#pragma once
// Whether the test runs under AddressSanitizer, whose shadow memory cannot
// live within a small address-space limit (RLIMIT_AS).

#if defined(__SANITIZE_ADDRESS__)
constexpr bool AddressSanitizerActive = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool AddressSanitizerActive = true;
#else
constexpr bool AddressSanitizerActive = false;
#endif
#else
constexpr bool AddressSanitizerActive = false;
#endif
