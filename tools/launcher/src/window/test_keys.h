// The settings button's hidden test keys (Control + Alt + G or A): they
// make the crash handler report a crash or an assertion, so that it can be
// tried on a user's machine.
#pragma once

// An access violation: reads address 8 and writes address 4.
void TestCrash();

// Raises the forced assertion "Forced assert failure" through the
// AssertHook; breaks into the debugger when the hook asks for it.
void TestAssert();
