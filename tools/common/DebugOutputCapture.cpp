#include "tools/common/DebugOutputCapture.h"

#include <chrono>
#include <cstring>

namespace {

constexpr DWORD kBufferSize = 4096;

HANDLE CreateOwnEvent(const char* name) {
    HANDLE event = ::CreateEventA(nullptr, FALSE, FALSE, name);
    if (event && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(event);
        return nullptr;
    }
    return event;
}

} // namespace

DebugOutputCapture::DebugOutputCapture()
    : m_bufferReady(CreateOwnEvent("DBWIN_BUFFER_READY")), m_dataReady(CreateOwnEvent("DBWIN_DATA_READY")),
      m_mapping(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize,
                                     "DBWIN_BUFFER")),
      m_stop(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (!m_bufferReady || !m_dataReady || !m_mapping || !m_stop)
        return;
    m_view.Reset(::MapViewOfFile(m_mapping.Get(), FILE_MAP_READ, 0, 0, kBufferSize));
    if (!m_view)
        return;
    m_listening = true;
    m_thread = std::thread([this] { Listen(); });
}

DebugOutputCapture::~DebugOutputCapture() {
    if (m_thread.joinable()) {
        ::SetEvent(m_stop.Get());
        m_thread.join();
    }
}

void DebugOutputCapture::OnRecord(std::function<void(const Record&)> callback) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_callback = std::move(callback);
}

void DebugOutputCapture::Listen() {
    const HANDLE waits[] = {m_dataReady.Get(), m_stop.Get()};
    for (;;) {
        ::SetEvent(m_bufferReady.Get());
        if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0)
            return;
        const char* view = static_cast<const char*>(m_view.Get());
        Record record;
        record.pid = *reinterpret_cast<const DWORD*>(view);
        const char* text = view + sizeof(DWORD);
        record.text.assign(text, strnlen(text, kBufferSize - sizeof(DWORD)));
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_callback)
            m_callback(record);
        m_records.push_back(std::move(record));
        m_arrived.notify_all();
    }
}

std::vector<DebugOutputCapture::Record> DebugOutputCapture::Records() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records;
}

std::vector<std::string> DebugOutputCapture::TextsOf(DWORD pid) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> texts;
    for (const Record& record : m_records) {
        if (record.pid == pid)
            texts.push_back(record.text);
    }
    return texts;
}

void DebugOutputCapture::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.clear();
}

bool DebugOutputCapture::WaitForCount(DWORD pid, size_t count, DWORD timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        size_t seen = 0;
        for (const Record& record : m_records)
            seen += record.pid == pid ? 1 : 0;
        return seen >= count;
    });
}
