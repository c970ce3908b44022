#pragma once

#include "CommonDialog.h"
#include "KeyedToolbar.h"
#include "SmartPanel.h"
#include "StatusPanels.h"
#include "UpDown.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <functional>

// The main window's form: a multiple-document frame with the mode panels stacked
// along its top edge, the main toolbar on its left, the status bar and the menus.
// Every control is a public member whose objectName is its name. The form has no
// behaviour of its own beyond what touches only itself (AllControls, the swatches,
// the Window menu); the application shell connects its signals at start.
class Master : public QMainWindow {
    Q_OBJECT
public:
    explicit Master(QWidget* parent = nullptr);
    ~Master() override;

    // The one main window while it exists, else nullptr.
    static Master* instance();

    // Enables (true) or disables (false) the capture-setting controls as a group.
    void AllControls(bool state);

    // Shows or hides the audio panel and sets the movie toolbar's "audio" button to match.
    void ShowAudioPanel(bool show);

    // Paints a colour swatch with a 0x00BBGGRR colour.
    static void paintSwatch(QLabel* swatch, quint32 bgr);

    // Window menu item: 0 tile horizontally, 1 tile vertically, 2 cascade, 3 arrange icons.
    void WindowMenu_Click(int index);

    // Called on every close request; return true to let the window close.
    std::function<bool()> onCloseRequest;

    // A menu item by menu name and index ("FileMenu", 5).
    QAction* menuItem(const QString& menu, int index) const;

    // Sizes the whole window, its frame and title bar included, to `size`. The frame
    // is the desktop's and often known only once the window is shown: the size is
    // applied again then, once per change of the frame.
    void setWholeSize(QSize size);

    QMdiArea* MDIClient;
    SmartPanelStack* PanelStack;

    // Left edge.
    SmartPanel* MasterPanel;
    KeyedToolbar* MainToolbar;

    // Device panel.
    SmartPanel* MSVIDEOSmartPanel;
    KeyedToolbar* msvideotoolbar;
    QComboBox* MSVIDEOPreviewRate;
    QComboBox* MSVIDEODevice;

    // Movie panel.
    SmartPanel* MoviePanel;
    KeyedToolbar* MovieToolbar;
    UpDown* MovieHoursControl;
    UpDown* MovieMinutesControl;
    UpDown* MovieSecondsControl;
    UpDown* MovieFrameRateControl;
    QLabel* MovieHoursDisplay;
    QLabel* MovieMinutesDisplay;
    QLabel* MovieSecondsDisplay;
    QLabel* MovieFrameRateDisplay;
    QCheckBox* MovieDisableLimit;

    // Audio panel.
    SmartPanel* AudioToolbar;
    QComboBox* AudioRate;
    QComboBox* AudioBits;
    QComboBox* AudioChannels;

    // Image panel.
    SmartPanel* ImagePanel;
    KeyedToolbar* ImageToolbar;
    QLabel* ImageTimeColor;
    QLabel* ImageDateColor;
    QLabel* ImageTextColor;
    QComboBox* ImageTimePosition;
    QComboBox* ImageDatePosition;
    QComboBox* ImageTextPosition;
    QLineEdit* ImageText;

    // Multiple-image panel.
    SmartPanel* MultipleImagePanel;
    KeyedToolbar* MultipleImageToolbar;
    KeyedToolbar* MultipleImageToolbar2;
    QLabel* MultipleImageTimeColor;
    QLabel* MultipleImageDateColor;
    QLabel* MultipleImageTextColor;
    QComboBox* MultipleImageTimePosition;
    QComboBox* MultipleImageDatePosition;
    QComboBox* MultipleImageTextPosition;
    QLineEdit* MultipleImageText;
    QComboBox* MultipleImageFrameRate;
    QComboBox* MultipleImageMode;
    QCheckBox* MultipleImageAutoShoot;
    QPushButton* Shooter;
    UpDown* MultipleImageHoursControl;
    UpDown* MultipleImageMinutesControl;
    UpDown* MultipleImageSecondsControl;
    QLabel* MultipleImageHoursDisplay;
    QLabel* MultipleImageMinutesDisplay;
    QLabel* MultipleImageSecondsDisplay;

    // Webcam panel.
    SmartPanel* WebcamPanel;

    // Capture controls.
    SmartPanel* ControlStatusPanel;
    KeyedToolbar* GlobalToolbar;
    QLabel* StatusTime;
    QLabel* StatusString;

    StatusPanels* MasterStatus;
    CommonDialog MasterDialog;
    QTimer* MasterTimer;
    QTimer* MultipleImageTimer;

    QMenu* FileMenu;
    QMenu* EditMenu;
    QMenu* ViewMenu;
    QMenu* VideoMenu;
    QMenu* AudioMenu;
    QMenu* SampleRateMenu;
    QMenu* WindowMenu;
    QMenu* HelpMenu;

signals:
    // A click on a menu item: the menu's name and the item's index.
    void menuClicked(const QString& menu, int index);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void applyWholeSize();
    QSize m_wholeSize;  // asked for by setWholeSize; invalid when none
    QSize m_frameExtra; // the frame's share when it was last applied

    void buildMenus();
    void buildPanels();
    QMenu* buildMenu(QMenu* menu, const QString& name, const QList<QPair<QString, QKeySequence>>& items);
};
