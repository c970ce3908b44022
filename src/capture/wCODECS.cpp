#include "wCODECS.h"

#include "Codec.h"
#include "ItemReader.h"
#include "MsgBox.h"
#include "WinApi32.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

wCODECS::wCODECS(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("wCODECS"));
    setWindowTitle(QStringLiteral("Installed Video Compressors"));
    setModal(true);

    Label3 = new QLabel(QStringLiteral("This window shows all installed codecs in your system."), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    codecs = new QTreeWidget(this);
    codecs->setObjectName(QStringLiteral("codecs"));
    codecs->setHeaderHidden(true);
    codecs->setColumnCount(1);
    Label2 = new QLabel(
        QStringLiteral("CODEC (Compressor/Decompressor), compresses and decompresses image data. "
                       "Compression codecs can use software or hardware to carry out their tasks."),
        this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label1 = new QLabel(
        QStringLiteral("Compression is used to reduce the size of the file on disk. Compression can "
                       "be lossless or lossy, in which some data is discarded, on the assumption "
                       "that the loss will not be noticeable when the data is decompressed."),
        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    for (QLabel* label : {Label1, Label2, Label3})
        label->setWordWrap(true);
    Command1 = new QPushButton(QStringLiteral("Exit"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label3);
    layout->addWidget(codecs, 1);
    layout->addWidget(Label2);
    layout->addWidget(Label1);
    layout->addWidget(Command1, 0, Qt::AlignRight);
    resize(440, 420);

    Form_Load();
}

void wCODECS::Form_Load() {
    const QString path = WinApi32::WindowsDirectory() + QStringLiteral("system.ini");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        MsgBox(QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()),
               MsgBoxStyle::vbCritical, QString::fromLatin1(kAppTitle));
        return;
    }
    ItemReader items(file);
    QByteArray item;
    QString bits; // empty until the first section header
    while (items.next(item)) {
        const QByteArray upper = item.toUpper();
        if (upper.startsWith("[DRIVERS]"))
            bits = QStringLiteral("16");
        else if (upper.startsWith("[DRIVERS32]"))
            bits = QStringLiteral("32");
        else if (upper.startsWith("VIDC"))
            // VIDC, a separator, the code, a separator, the driver file.
            addEntry(item.mid(5, 4), item.mid(10), bits);
    }
}

void wCODECS::addEntry(const QByteArray& codeBytes, const QByteArray& fileBytes, const QString& bits) {
    const QString code = QString::fromLocal8Bit(codeBytes);
    // Keys stay unique (and, as tree keys go, ignore case): an entry whose code an
    // earlier one already keys carries none; an empty code is no key.
    bool keyed = code.isEmpty();
    for (int i = 0; i < codecs->topLevelItemCount() && !keyed; ++i)
        keyed = codecs->topLevelItem(i)->data(0, KeyRole).toString().compare(code, Qt::CaseInsensitive) == 0;

    auto* node = new QTreeWidgetItem(codecs, QStringList(Codec::ReadCodecInfo(code, &m_codecInfoErrorShown)));
    if (!keyed) node->setData(0, KeyRole, code);
    new QTreeWidgetItem(node, QStringList(QStringLiteral("Bits: ") + bits + QStringLiteral(" bits")));
    new QTreeWidgetItem(node, QStringList(QStringLiteral("Signature: ") + code));
    new QTreeWidgetItem(node, QStringList(QStringLiteral("File: ") + QString::fromLocal8Bit(fileBytes)));
}
