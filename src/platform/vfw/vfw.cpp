#include "vfw.h"

#include "CaptureWindow.h"
#include "DriverList.h"
#include "VfwTestHooks.h"

#include <QWidget>
#include <algorithm>
#include <cstring>

namespace {

VfwTest::DescriptionHook& descriptionHook() {
    static VfwTest::DescriptionHook hook;
    return hook;
}

VfwTest::MessageHook& messageHook() {
    static VfwTest::MessageHook hook;
    return hook;
}

void copyText(const QString& text, char* buffer, int size) {
    if (!buffer || size <= 0) return;
    const QByteArray bytes = text.toLocal8Bit();
    const int n = std::min(size - 1, int(bytes.size()));
    std::memcpy(buffer, bytes.constData(), std::size_t(n));
    buffer[n] = '\0';
}

} // namespace

void VfwTest::setDescriptionHook(DescriptionHook hook) {
    descriptionHook() = std::move(hook);
}

void VfwTest::setMessageHook(MessageHook hook) {
    messageHook() = std::move(hook);
}

HWND capCreateCaptureWindowA(const char* name, DWORD style, int x, int y, int width, int height,
                             QWidget* parent, int id) {
    auto* window = new CaptureWindow(parent);
    window->setObjectName(QString::fromLocal8Bit(name ? name : ""));
    window->setProperty("controlId", id);
    window->setGeometry(x, y, std::max(0, width), std::max(0, height));
    const HWND handle = CaptureWindow::attach(window);
    if (style & WS_VISIBLE) window->show();
    return handle;
}

BOOL capGetDriverDescriptionA(UINT index, char* name, int nameSize, char* version, int versionSize) {
    QString driverName;
    QString driverVersion;
    if (descriptionHook()) {
        const auto described = descriptionHook()(index);
        if (!described) return FALSE;
        driverName = described->first;
        driverVersion = described->second;
    } else {
        const auto list = DriverList::entries();
        if (index >= list.size()) return FALSE;
        driverName = list[index].name;
        driverVersion = list[index].version;
    }
    copyText(driverName, name, nameSize);
    copyText(driverVersion, version, versionSize);
    return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (messageHook())
        if (const auto answer = messageHook()(window, message, wParam, lParam)) return *answer;
    CaptureWindow* target = CaptureWindow::find(window);
    return target ? target->message(message, wParam, lParam) : FALSE;
}

BOOL DestroyWindow(HWND window) {
    CaptureWindow* target = CaptureWindow::find(window);
    if (!target) return FALSE;
    delete target; // its destructor disconnects the driver and frees the handle
    return TRUE;
}

BOOL SetWindowPos(HWND window, HWND, int x, int y, int cx, int cy, UINT flags) {
    CaptureWindow* target = CaptureWindow::find(window);
    if (!target) return FALSE;
    if (!(flags & SWP_NOMOVE)) target->move(x, y);
    if (!(flags & SWP_NOSIZE)) target->resize(std::max(0, cx), std::max(0, cy));
    return TRUE;
}
