#pragma once

#include "mirov/Handles.h"

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A debugger-output listener (the DBWIN protocol): every OutputDebugStringA of the session is
// received as the exact bytes handed over. Only one listener can exist in a session at a time.
class DebugOutputCapture {
public:
    struct Record {
        DWORD pid;
        std::string text; // the bytes up to the terminating zero
    };

    DebugOutputCapture();
    ~DebugOutputCapture();
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    // False when another listener holds the protocol's objects.
    bool IsListening() const { return m_listening; }

    // Called on the listener thread for each record, in order, besides keeping it.
    void OnRecord(std::function<void(const Record&)> callback);

    std::vector<Record> Records() const;
    std::vector<std::string> TextsOf(DWORD pid) const;
    void Clear();
    // Waits until `count` records of `pid` have arrived; false on time-out.
    bool WaitForCount(DWORD pid, size_t count, DWORD timeoutMs) const;

private:
    void Listen();

    mirov::UniqueHandle m_bufferReady;
    mirov::UniqueHandle m_dataReady;
    mirov::UniqueHandle m_mapping;
    mirov::UniqueMappingView m_view;
    mirov::UniqueHandle m_stop;
    bool m_listening = false;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    std::vector<Record> m_records;
    std::function<void(const Record&)> m_callback;
};
