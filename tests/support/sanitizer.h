#pragma once

// Whether the tests run under AddressSanitizer, whose programs need more
// address space than a test that limits it allows.
namespace dravlopro::testing {
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif
}  // namespace dravlopro::testing
