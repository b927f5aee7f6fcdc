#include "tools/common/MessageBoxWatcher.h"

#include <chrono>

namespace {

constexpr DWORD kPollMs = 10;
constexpr int kBoxTextId = 0xFFFF;

std::string WindowText(HWND window) {
    char text[4096] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

mirov::WideString WideWindowText(HWND window) {
    wchar_t text[4096] = {};
    ::GetWindowTextW(window, text, sizeof text / sizeof *text);
    return text;
}

struct Controls {
    bool hasIcon = false;
    int buttons = 0;
};

BOOL CALLBACK CountControl(HWND child, LPARAM param) {
    Controls& controls = *reinterpret_cast<Controls*>(param);
    if (!::IsWindowVisible(child))
        return TRUE;
    char className[32] = {};
    ::GetClassNameA(child, className, sizeof className);
    const LONG style = ::GetWindowLongA(child, GWL_STYLE);
    // An icon control without an icon stands in a box that was asked for none.
    if (lstrcmpiA(className, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON &&
        ::SendMessageA(child, STM_GETICON, 0, 0) != 0)
        controls.hasIcon = true;
    if (lstrcmpiA(className, "Button") == 0)
        ++controls.buttons;
    return TRUE;
}

} // namespace

MessageBoxWatcher::MessageBoxWatcher(DWORD pid) : m_pid(pid), m_thread([this] { Watch(); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
    m_stop = true;
    m_thread.join();
}

void MessageBoxWatcher::Watch() {
    while (!m_stop) {
        Scan();
        // Newest first, as a person answers the box on top: an older box stays open under a
        // newer one until that one is gone.
        const ULONGLONG now = ::GetTickCount64();
        while (!m_pending.empty() &&
               (now >= m_pending.back().pressAt || !::IsWindow(m_pending.back().window))) {
            ::PostMessageA(m_pending.back().window, WM_COMMAND, IDOK, 0);
            m_pending.pop_back();
        }
        ::Sleep(kPollMs);
    }
}

void MessageBoxWatcher::Scan() {
    for (auto it = m_seen.begin(); it != m_seen.end();)
        it = ::IsWindow(*it) ? std::next(it) : m_seen.erase(it);
    ::EnumWindows(CollectBox, reinterpret_cast<LPARAM>(this));
}

BOOL CALLBACK MessageBoxWatcher::CollectBox(HWND window, LPARAM param) {
    MessageBoxWatcher& self = *reinterpret_cast<MessageBoxWatcher*>(param);
    char className[16] = {};
    ::GetClassNameA(window, className, sizeof className);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (lstrcmpA(className, "#32770") != 0 || !::IsWindowVisible(window) ||
        (self.m_pid && pid != self.m_pid) || self.m_seen.count(window))
        return TRUE;
    self.m_seen.insert(window);
    Controls controls;
    ::EnumChildWindows(window, CountControl, reinterpret_cast<LPARAM>(&controls));
    const HWND text = ::GetDlgItem(window, kBoxTextId);
    Box box{
        pid, WindowText(window), WindowText(text), controls.hasIcon, controls.buttons, WideWindowText(text)};
    {
        std::lock_guard<std::mutex> lock(self.m_mutex);
        self.m_boxes.push_back(std::move(box));
    }
    self.m_arrived.notify_all();
    self.m_pending.push_back({window, ::GetTickCount64() + self.m_pressDelayMs});
    return TRUE;
}

std::vector<MessageBoxWatcher::Box> MessageBoxWatcher::Boxes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes;
}

void MessageBoxWatcher::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_boxes.clear();
}

bool MessageBoxWatcher::WaitForCount(size_t count, DWORD timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_boxes.size() >= count; });
}
