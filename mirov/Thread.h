#pragma once

#include "mirov/Handles.h"

#include <windows.h>

namespace mirov {

// One operating-system thread that runs Execute. The thread is always created suspended, so that
// it cannot run before the derived object is whole; Resume starts it.
class Thread {
public:
    Thread();
    // A thread that was never resumed is ended here without running Execute. An object that does
    // not delete itself must not be destroyed while Execute runs: wait for its end first.
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // False when the system could not create the thread; such an object never runs.
    bool IsCreated() const { return m_hThread.IsValid(); }
    // Starts the suspended thread; false when it could not be started.
    bool Resume();
    // Once Execute has returned, the object deletes itself (closing its thread handle) before the
    // thread ends. Set it before Resume, on an object made with new.
    void SetFreeOnTerminate(bool free) { m_freeOnTerminate = free; }
    // A handle of the caller's own, signalled when the thread has ended. It stays valid after a
    // self-deleting object is gone, so take it before Resume.
    UniqueHandle DuplicateHandle() const;
    // True when the thread ended within the time; only for an object that does not delete itself.
    bool WaitFor(DWORD timeoutMs) const;

protected:
    virtual void Execute() = 0;

private:
    static DWORD WINAPI Run(void* self);

    UniqueHandle m_hThread;
    bool m_freeOnTerminate = false;
    bool m_started = false;
    bool m_abandoned = false; // set by the destructor of a thread that never ran
};

} // namespace mirov
