#include "CommonDialog.h"

#include <QColorDialog>
#include <QFileDialog>
#include <deque>

namespace {

struct Answer {
    enum Kind { Cancel, File, Color } kind = Cancel;
    QString path;
    quint32 color = 0;
};

bool g_test = false;
std::deque<Answer> g_answers;
std::vector<CommonDialogTest::Shown> g_shown;

Answer nextAnswer() {
    if (g_answers.empty()) return Answer{};
    Answer a = g_answers.front();
    g_answers.pop_front();
    return a;
}

} // namespace

QString CommonDialog::toQtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString desc = parts[i].trimmed();
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (desc.isEmpty() && patterns.trimmed().isEmpty()) continue;
        out << desc + QStringLiteral(" (") + patterns.trimmed() + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

bool CommonDialog::ShowOpen() {
    if (g_test) {
        g_shown.push_back({CommonDialogTest::Kind::Open, DialogTitle, Filter, FileName});
        const Answer a = nextAnswer();
        if (a.kind == Answer::File) {
            FileName = a.path;
            return true;
        }
        return false;
    }
    const QString path = QFileDialog::getOpenFileName(m_parent, DialogTitle, FileName, toQtFilter(Filter));
    if (path.isEmpty()) return false;
    FileName = path;
    return true;
}

bool CommonDialog::ShowSave() {
    if (g_test) {
        g_shown.push_back({CommonDialogTest::Kind::Save, DialogTitle, Filter, FileName});
        const Answer a = nextAnswer();
        if (a.kind == Answer::File) {
            FileName = a.path;
            return true;
        }
        return false;
    }
    // The path is taken exactly as chosen: no extension is added.
    QFileDialog dialog(m_parent, DialogTitle, FileName, toQtFilter(Filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    FileName = dialog.selectedFiles().constFirst();
    return true;
}

bool CommonDialog::ShowColor() {
    const QColor current(Color & 0xff, (Color >> 8) & 0xff, (Color >> 16) & 0xff);
    if (g_test) {
        g_shown.push_back({CommonDialogTest::Kind::Color, DialogTitle, Filter, FileName});
        const Answer a = nextAnswer();
        if (a.kind == Answer::Color) {
            Color = a.color;
            return true;
        }
        return false;
    }
    const QColor chosen = QColorDialog::getColor(current, m_parent, DialogTitle);
    if (!chosen.isValid()) return false;
    Color = quint32(chosen.red()) | quint32(chosen.green()) << 8 | quint32(chosen.blue()) << 16;
    return true;
}

namespace CommonDialogTest {
void enable() {
    g_test = true;
}
void disable() {
    g_test = false;
}
bool enabled() {
    return g_test;
}
void queueFile(const QString& path) {
    g_answers.push_back({Answer::File, path, 0});
}
void queueColor(quint32 bgr) {
    g_answers.push_back({Answer::Color, QString(), bgr});
}
void queueCancel() {
    g_answers.push_back({});
}
const std::vector<Shown>& shown() {
    return g_shown;
}
void clear() {
    g_shown.clear();
    g_answers.clear();
}
} // namespace CommonDialogTest
