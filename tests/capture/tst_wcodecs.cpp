#include "Codec.h"
#include "MsgBox.h"
#include "SystemDirectory.h"
#include "Vars.h"
#include "WinApi32.h"
#include "wCODECS.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

// "Installed Video Compressors": the tree built from system.ini and codec.kl.
class TestwCODECS : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString systemIni() const { return WinApi32::WindowsDirectory() + QStringLiteral("system.ini"); }

    static void writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    void writeCodecInfo(const QList<QByteArray>& lines) {
        QByteArray text;
        for (QByteArray line : lines) {
            for (char& c : line)
                c = char(quint8(c) + 1);
            text += line + '\n';
        }
        writeFile(Codec::CodecInfoPath(), text);
    }

    struct Node {
        QString text, key;
        QStringList children;
    };
    static QList<Node> nodes(const wCODECS& w) {
        QList<Node> list;
        for (int i = 0; i < w.codecs->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = w.codecs->topLevelItem(i);
            Node n{item->text(0), item->data(0, wCODECS::KeyRole).toString(), {}};
            for (int c = 0; c < item->childCount(); ++c)
                n.children << item->child(c)->text(0);
            list << n;
        }
        return list;
    }

private slots:
    void initTestCase() {
        // No installed codec.kl stands in for the test's own.
        qputenv("XDG_DATA_DIRS", QFile::encodeName(m_dir.filePath(QStringLiteral("installed"))));
        Vars::StartupDirectory = m_dir.path();
        SystemDirectory::setPath(m_dir.filePath(QStringLiteral("system")));
        QVERIFY(QFile::exists(systemIni())); // written on first use
        MsgBoxTest::enable();
    }
    void init() {
        MsgBoxTest::clear();
        writeCodecInfo({Codec::kCodecInfoHeader, "CVID Cinepak by Radius", "mjpg Motion JPEG"});
    }

    void fixedTexts() {
        wCODECS w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Installed Video Compressors"));
        QCOMPARE(w.Label3->text(), QStringLiteral("This window shows all installed codecs in your system."));
        QVERIFY(w.Label2->text().startsWith(QStringLiteral("CODEC (Compressor/Decompressor), compresses")));
        QVERIFY(w.Label1->text().endsWith(QStringLiteral("when the data is decompressed.")));
        QCOMPARE(w.Command1->text(), QStringLiteral("Exit"));
        QVERIFY(w.isModal());
    }

    // Both sections, a code in each, case-blind keys, a short entry and a binary one.
    void treeFollowsSystemIni() {
        writeFile(systemIni(),
                  QByteArray("VIDC.NONE=before.drv\n"
                             "[drivers]\r\nwave=mmsystem.dll\r\nVIDC.CVID=iccvid.drv\r\n"
                             "[mci]\nvidc.MJPG=mjpeg.drv\n"
                             "[drivers32]\nVIDC.cvid=iccvid.dll\nVIDC.MJPG=libavcodec.so.59:mjpeg\n"
                             "VIDC.AB\n") +
                      QByteArray("VIDC.\xff\x01zz=\x00x\n", 13));
        wCODECS w;
        const QList<Node> n = nodes(w);
        QCOMPARE(n.size(), 7);
        QCOMPARE(n[0].text, QStringLiteral("Unknown CODEC (NONE)"));
        QCOMPARE(n[0].children, (QStringList{"Bits:  bits", "Signature: NONE", "File: before.drv"}));
        QCOMPARE(n[1].text, QStringLiteral("Cinepak by Radius"));
        QCOMPARE(n[1].key, QStringLiteral("CVID"));
        QCOMPARE(n[1].children, (QStringList{"Bits: 16 bits", "Signature: CVID", "File: iccvid.drv"}));
        // Other sections keep the width.
        QCOMPARE(n[2].text, QStringLiteral("Motion JPEG"));
        QCOMPARE(n[2].key, QStringLiteral("MJPG"));
        QCOMPARE(n[2].children.value(0), QStringLiteral("Bits: 16 bits"));
        // The second entry of a code is listed too, without a key.
        QCOMPARE(n[3].text, QStringLiteral("Cinepak by Radius"));
        QCOMPARE(n[3].key, QString());
        QCOMPARE(n[3].children, (QStringList{"Bits: 32 bits", "Signature: cvid", "File: iccvid.dll"}));
        QCOMPARE(n[4].key, QString());
        QCOMPARE(n[4].children.value(2), QStringLiteral("File: libavcodec.so.59:mjpeg"));
        QCOMPARE(n[5].text, QStringLiteral("Unknown CODEC (AB)"));
        QCOMPARE(n[5].children, (QStringList{"Bits: 32 bits", "Signature: AB", "File: "}));
        QVERIFY(n[6].text.startsWith(QStringLiteral("Unknown CODEC (")));
        QVERIFY(MsgBoxTest::shown().empty());
    }

    // The generated system.ini: one node per installed compressor, all in 32 bits.
    void generatedSystemIniListsTheInstalledCompressors() {
        QVERIFY(SystemDirectory::writeSystemIni());
        wCODECS w;
        const auto installed = SystemDirectory::installedVideoCompressors();
        const QList<Node> n = nodes(w);
        QCOMPARE(n.size(), installed.size());
        for (int i = 0; i < n.size(); ++i) {
            QCOMPARE(n[i].key, installed[i].fourcc);
            QCOMPARE(n[i].children.value(0), QStringLiteral("Bits: 32 bits"));
        }
    }

    // One box for the whole list, not one per compressor (the generated system.ini
    // names about 55).
    void missingCodecInfoIsSaidOnce() {
        writeFile(systemIni(), "[drivers32]\nVIDC.CVID=a\nVIDC.MJPG=b\nVIDC.XVID=c\n");
        QFile::remove(Codec::CodecInfoPath());
        wCODECS w;
        QCOMPARE(MsgBoxTest::texts(), QStringList{"ERROR C100: Can't find CODEC Information file."});
        QCOMPARE(nodes(w).size(), 3);
        QCOMPARE(nodes(w).value(2).text, QString());
    }

    void wrongCodecInfoIsSaidOnce() {
        writeFile(systemIni(), "[drivers32]\nVIDC.CVID=a\nVIDC.MJPG=b\n");
        writeCodecInfo({"NOT THE HEADER", "CVID Cinepak"});
        wCODECS w;
        QCOMPARE(MsgBoxTest::texts(), QStringList{"ERROR C101: Error in Script Alpha."});
        QCOMPARE(nodes(w).value(1).text, QStringLiteral("Error"));
    }

    // Each window says it again: the user may have put the file in place meanwhile.
    void eachWindowSaysItAgain() {
        writeFile(systemIni(), "[drivers32]\nVIDC.CVID=a\n");
        QFile::remove(Codec::CodecInfoPath());
        { wCODECS w; }
        { wCODECS w; }
        QCOMPARE(MsgBoxTest::texts(), QStringList(2, "ERROR C100: Can't find CODEC Information file."));
    }

    void unreadableSystemIniIsSaidAndTheTreeStaysEmpty() {
        QFile::remove(systemIni());
        wCODECS w;
        QCOMPARE(w.codecs->topLevelItemCount(), 0);
        QCOMPARE(MsgBoxTest::shown().size(), size_t(1));
        const QString text = MsgBoxTest::texts().value(0);
        QVERIFY2(text.contains(systemIni()) && text.contains(QStringLiteral("No such file")),
                 qPrintable(text));
        QCOMPARE(MsgBoxTest::shown()[0].style, int(MsgBoxStyle::vbCritical));
    }
};

QTEST_MAIN(TestwCODECS)
#include "tst_wcodecs.moc"
