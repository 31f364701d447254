// The entry of every test program, native and under Wine.
//
// A test program that ends abruptly must still leave its story in the log:
//  - its output goes out unbuffered, so what it reported before the end is
//    not lost with a stdio buffer (a pipe is fully buffered otherwise);
//  - under Windows an exception nobody handles names the test that raised it
//    and ends the program at once, instead of Wine starting its debugger,
//    which waits for a person with the test runner blocked until its timeout.
#include <gtest/gtest.h>

#include <cstdio>

#ifdef _WIN32
#include <windows.h>

namespace {

LONG WINAPI ReportUnhandled(EXCEPTION_POINTERS* info)
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::fprintf(stderr, "\nunhandled exception 0x%08lX at %p in %s.%s\n",
                 static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode), info->ExceptionRecord->ExceptionAddress,
                 test ? test->test_suite_name() : "(no test)", test ? test->name() : "(between tests)");
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace
#endif

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
#ifdef _WIN32
    SetUnhandledExceptionFilter(&ReportUnhandled);
    // No "program has stopped working" box either: nobody is there to close it.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
