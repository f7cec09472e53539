#include "test_keys.h"

#include "errorhandler.h"

#include <cstdint>

namespace {

constexpr unsigned FORCED_ASSERT_LINE = 1943;

} // namespace

void TestCrash()
{
    // Through volatile addresses, so the compiler keeps both accesses.
    volatile uintptr_t fromAddress = 8;
    volatile uintptr_t toAddress = 4;
    *reinterpret_cast<volatile int*>(toAddress) = *reinterpret_cast<volatile int*>(fromAddress);
}

void TestAssert()
{
    AssertInfo info = {};
    info.expression = "Forced assert failure";
    info.function = "TestAssert";
    info.file = "tools\\launcher\\src\\launcher.cpp";
    info.line = FORCED_ASSERT_LINE;
    if (AssertHook && AssertHook(&info))
        __debugbreak();
}
