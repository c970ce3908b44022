#include "MsgBox.h"

#include <QApplication>
#include <QMessageBox>
#include <deque>

namespace {
bool g_test = false;
std::deque<int> g_answers;
std::vector<MsgBoxTest::Shown> g_shown;
MsgBoxHandler::Handler g_handler;
} // namespace

namespace MsgBoxHandler {
void set(Handler handler) {
    g_handler = std::move(handler);
}
int firstButton(int style) {
    switch (style & 7) {
    case MsgBoxStyle::vbYesNo:
        return MsgBoxResult::vbYes;
    default:
        return MsgBoxResult::vbOK;
    }
}
} // namespace MsgBoxHandler

int MsgBox(const QString& text, int style, const QString& title) {
    const QString caption = title.isEmpty() ? QString::fromLatin1(kAppTitle) : title;
    if (g_test) {
        g_shown.push_back({text, style, caption});
        if (g_answers.empty()) return MsgBoxHandler::firstButton(style);
        const int answer = g_answers.front();
        g_answers.pop_front();
        return answer;
    }
    if (g_handler) return g_handler(text, style, caption);
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(caption);
    box.setText(text);
    switch (style & 0x70) {
    case MsgBoxStyle::vbCritical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgBoxStyle::vbQuestion:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgBoxStyle::vbExclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgBoxStyle::vbInformation:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    switch (style & 7) {
    case MsgBoxStyle::vbYesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MsgBoxStyle::vbOKCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MsgBoxResult::vbYes;
    case QMessageBox::No:
        return MsgBoxResult::vbNo;
    case QMessageBox::Cancel:
        return MsgBoxResult::vbCancel;
    default:
        return MsgBoxResult::vbOK;
    }
}

namespace MsgBoxTest {
void enable() {
    g_test = true;
}
void disable() {
    g_test = false;
}
bool enabled() {
    return g_test;
}
void queueAnswer(int result) {
    g_answers.push_back(result);
}
const std::vector<Shown>& shown() {
    return g_shown;
}
QStringList texts() {
    QStringList out;
    for (const auto& s : g_shown)
        out << s.text;
    return out;
}
void clear() {
    g_shown.clear();
    g_answers.clear();
}
} // namespace MsgBoxTest
