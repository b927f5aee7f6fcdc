#include "mirov/Thread.h"

#include "tests/support/ImportHook.h"

#include <gtest/gtest.h>

namespace {

mirov::UniqueHandle NewEvent() {
    return mirov::UniqueHandle(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

bool IsSet(const mirov::UniqueHandle& event, DWORD timeoutMs = 0) {
    return ::WaitForSingleObject(event.Get(), timeoutMs) == WAIT_OBJECT_0;
}

// Tells through events that it ran and that it was destroyed; runs until `proceed` is set.
class SignallingThread : public mirov::Thread {
public:
    SignallingThread(HANDLE ran, HANDLE destroyed, HANDLE proceed = nullptr)
        : m_ran(ran), m_destroyed(destroyed), m_proceed(proceed) {}
    ~SignallingThread() override { ::SetEvent(m_destroyed); }
    DWORD RanOn() const { return m_ranOn; }

protected:
    void Execute() override {
        m_ranOn = ::GetCurrentThreadId();
        ::SetEvent(m_ran);
        if (m_proceed)
            ::WaitForSingleObject(m_proceed, INFINITE);
    }

private:
    HANDLE m_ran;
    HANDLE m_destroyed;
    HANDLE m_proceed;
    DWORD m_ranOn = 0;
};

DWORD WINAPI FailResumeThread(HANDLE) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return static_cast<DWORD>(-1);
}

// Wine's 32-bit half crashes the whole process in about half the runs when it ends a thread that was
// created suspended and never ran; Windows ends such a thread cleanly.
bool IsWine32() {
    return sizeof(void*) == 4 && ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version");
}

} // namespace

TEST(Thread, RunsOnItsOwnThreadOnlyOnceResumed) {
    const auto ran = NewEvent();
    const auto destroyed = NewEvent();
    SignallingThread thread(ran.Get(), destroyed.Get());
    ASSERT_TRUE(thread.IsCreated());
    EXPECT_FALSE(IsSet(ran, 200));
    EXPECT_FALSE(thread.WaitFor(0));
    ASSERT_TRUE(thread.Resume());
    EXPECT_TRUE(thread.WaitFor(5000));
    EXPECT_TRUE(IsSet(ran));
    EXPECT_NE(thread.RanOn(), 0u);
    EXPECT_NE(thread.RanOn(), ::GetCurrentThreadId());
    EXPECT_FALSE(IsSet(destroyed)); // not asked to delete itself
}

TEST(Thread, FreeOnTerminateDeletesItBeforeTheThreadEnds) {
    const auto ran = NewEvent();
    const auto destroyed = NewEvent();
    const auto proceed = NewEvent();
    auto* thread = new SignallingThread(ran.Get(), destroyed.Get(), proceed.Get());
    thread->SetFreeOnTerminate(true);
    const mirov::UniqueHandle end = thread->DuplicateHandle();
    ASSERT_TRUE(end);
    ASSERT_TRUE(thread->Resume());

    EXPECT_TRUE(IsSet(ran, 5000));
    EXPECT_FALSE(IsSet(end, 100)); // still in Execute
    EXPECT_FALSE(IsSet(destroyed));
    ::SetEvent(proceed.Get());
    EXPECT_TRUE(IsSet(end, 5000));
    EXPECT_TRUE(IsSet(destroyed));
}

TEST(Thread, EndStaysWaitableAfterTheObjectIsGone) {
    const auto ran = NewEvent();
    const auto destroyed = NewEvent();
    auto* thread = new SignallingThread(ran.Get(), destroyed.Get());
    thread->SetFreeOnTerminate(true);
    const mirov::UniqueHandle end = thread->DuplicateHandle();
    ASSERT_TRUE(thread->Resume());
    // The object and its own handle are gone before the wait on the copy starts.
    ASSERT_TRUE(IsSet(destroyed, 5000));
    EXPECT_TRUE(IsSet(end, 5000));
}

TEST(Thread, NeverResumedThreadEndsWithItsObjectWithoutRunning) {
    const auto ran = NewEvent();
    const auto destroyed = NewEvent();
    mirov::UniqueHandle end;
    {
        SignallingThread thread(ran.Get(), destroyed.Get());
        end = thread.DuplicateHandle();
        ASSERT_TRUE(end);
    }
    EXPECT_TRUE(IsSet(end, 5000));
    EXPECT_FALSE(IsSet(ran));
}

TEST(Thread, ThreadThatCannotBeResumedEndsWithItsObject) {
    if (IsWine32())
        GTEST_SKIP() << "Wine's 32-bit TerminateThread of a never-run thread crashes the process; the x64 "
                        "run proves this";
    const auto ran = NewEvent();
    const auto destroyed = NewEvent();
    mirov::UniqueHandle end;
    {
        ImportHook hook("KERNEL32.dll", "ResumeThread", &FailResumeThread);
        ASSERT_TRUE(hook.IsActive());
        SignallingThread thread(ran.Get(), destroyed.Get());
        end = thread.DuplicateHandle();
        ASSERT_TRUE(end);
        EXPECT_FALSE(thread.Resume());
    }
    EXPECT_TRUE(IsSet(end, 5000)); // no suspended thread left holding the freed object
    EXPECT_FALSE(IsSet(ran));
}
