#include "VfwTestHooks.h"

namespace VfwTest {
namespace {

DescriptionHook& description() {
    static DescriptionHook hook;
    return hook;
}

MessageHook& message() {
    static MessageHook hook;
    return hook;
}

} // namespace

void setDescriptionHook(DescriptionHook hook) {
    description() = std::move(hook);
}

void setMessageHook(MessageHook hook) {
    message() = std::move(hook);
}

const DescriptionHook& descriptionHook() {
    return description();
}

const MessageHook& messageHook() {
    return message();
}

} // namespace VfwTest
