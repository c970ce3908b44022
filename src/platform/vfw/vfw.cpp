#include "vfw.h"

#include "CaptureWindow.h"
#include "DriverList.h"
#include "TextBuffer.h"
#include "VfwTestHooks.h"

#include <QWidget>
#include <algorithm>

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
    if (const auto& hook = VfwTest::descriptionHook()) {
        const auto described = hook(index);
        if (!described) return FALSE;
        driverName = described->first;
        driverVersion = described->second;
    } else {
        const auto list = DriverList::entries();
        if (index >= list.size()) return FALSE;
        driverName = list[index].name;
        driverVersion = list[index].version;
    }
    copyTextToBuffer(driverName, name, std::size_t(std::max(0, nameSize)));
    copyTextToBuffer(driverVersion, version, std::size_t(std::max(0, versionSize)));
    return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (const auto& hook = VfwTest::messageHook())
        if (const auto answer = hook(window, message, wParam, lParam)) return *answer;
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
