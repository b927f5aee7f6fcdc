#include "mirov/Thread.h"

namespace mirov {

Thread::Thread() : m_hThread(::CreateThread(nullptr, 0, Run, this, CREATE_SUSPENDED, nullptr)) {}

Thread::~Thread() {
    // A started thread is either waited for by its owner or is deleting itself on its own thread.
    if (!IsCreated() || m_started)
        return;
    // A thread that never ran still holds this object: let it end at once, without Execute.
    m_abandoned = true;
    // Where it cannot be resumed, it is ended as it is: it has run no code of ours and holds nothing.
    if (::ResumeThread(m_hThread.Get()) == static_cast<DWORD>(-1) && !::TerminateThread(m_hThread.Get(), 0))
        return; // it can never run, so the pointer it holds is never used
    ::WaitForSingleObject(m_hThread.Get(), INFINITE);
}

bool Thread::Resume() {
    if (!IsCreated())
        return false;
    // Marked before the thread runs: a self-deleting object may be gone as soon as it does.
    m_started = true;
    if (::ResumeThread(m_hThread.Get()) != static_cast<DWORD>(-1))
        return true;
    m_started = false;
    return false;
}

UniqueHandle Thread::DuplicateHandle() const {
    UniqueHandle copy;
    if (IsCreated())
        ::DuplicateHandle(::GetCurrentProcess(), m_hThread.Get(), ::GetCurrentProcess(), copy.Put(),
                          SYNCHRONIZE, FALSE, 0);
    return copy;
}

bool Thread::WaitFor(DWORD timeoutMs) const {
    return IsCreated() && ::WaitForSingleObject(m_hThread.Get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD WINAPI Thread::Run(void* param) {
    Thread* self = static_cast<Thread*>(param);
    if (self->m_abandoned)
        return 0;
    self->Execute();
    if (self->m_freeOnTerminate)
        delete self;
    return 0;
}

} // namespace mirov
