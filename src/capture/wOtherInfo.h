#pragma once

#include <QWidget>

class QLineEdit;
class QListWidget;

// "Other Information": edits the AVI information texts (MSVIDEO::OtherInfo) that are
// written into a movie when its capture ends. Not modal; every change is stored at once.
class wOtherInfo : public QWidget {
    Q_OBJECT
public:
    explicit wOtherInfo(QWidget* parent = nullptr);

    QListWidget* InfoItems = nullptr;
    QLineEdit* TextItems = nullptr;

private:
    void Form_Load();
    void InfoItems_Click();
    void TextItems_Change();
};
