#pragma once

#include "VfwTypes.h"

#include <QString>
#include <functional>
#include <optional>

// Seams for tests of the code above the capture service: script the driver list and
// the answers to messages without a camera.
namespace VfwTest {

// Answers capGetDriverDescriptionA instead of the real driver list (name and version
// of `index`, or nullopt when there is no driver). An empty function restores it.
using DescriptionHook = std::function<std::optional<std::pair<QString, QString>>(UINT index)>;
void setDescriptionHook(DescriptionHook hook);

// Sees every SendMessageA first. An answer replaces the window's; nullopt passes the
// message on. An empty function removes the hook.
using MessageHook = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;
void setMessageHook(MessageHook hook);

// The hooks set (empty functions when none is): what vfw.cpp asks first.
const DescriptionHook& descriptionHook();
const MessageHook& messageHook();

} // namespace VfwTest
