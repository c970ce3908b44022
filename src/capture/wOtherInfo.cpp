#include "wOtherInfo.h"

#include "OtherInfo.h"

#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

wOtherInfo::wOtherInfo(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("wOtherInfo"));
    setWindowTitle(QStringLiteral("Other Information"));

    InfoItems = new QListWidget(this);
    InfoItems->setObjectName(QStringLiteral("InfoItems"));
    // In the order of the OtherInfo indices.
    InfoItems->addItems({QStringLiteral("Copyright"), QStringLiteral("Artist"), QStringLiteral("Subject"),
                         QStringLiteral("Product"), QStringLiteral("Source"), QStringLiteral("Comments")});
    TextItems = new QLineEdit(QStringLiteral("Text1"), this);
    TextItems->setObjectName(QStringLiteral("TextItems"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(InfoItems);
    layout->addWidget(TextItems);
    // Tall enough for the six entries, no more.
    InfoItems->setFixedHeight(InfoItems->sizeHintForRow(0) * InfoItems->count() +
                              2 * InfoItems->frameWidth());
    resize(280, sizeHint().height());

    connect(InfoItems, &QListWidget::currentRowChanged, this, &wOtherInfo::InfoItems_Click);
    connect(TextItems, &QLineEdit::textChanged, this, &wOtherInfo::TextItems_Change);
    Form_Load();
}

void wOtherInfo::Form_Load() {
    InfoItems->setCurrentRow(0);
}

void wOtherInfo::InfoItems_Click() {
    const int row = InfoItems->currentRow();
    if (row >= 0 && row < int(MSVIDEO::OtherInfo.size())) TextItems->setText(MSVIDEO::OtherInfo[size_t(row)]);
}

void wOtherInfo::TextItems_Change() {
    const int row = InfoItems->currentRow();
    if (row >= 0 && row < int(MSVIDEO::OtherInfo.size())) MSVIDEO::OtherInfo[size_t(row)] = TextItems->text();
}
