#include "Master.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHelpEvent>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

Master* g_instance = nullptr;

const QStringList kPositions = {QStringLiteral("Top Left"),     QStringLiteral("Top Right"),
                                QStringLiteral("Top Center"),   QStringLiteral("Bottom Left"),
                                QStringLiteral("Bottom Right"), QStringLiteral("Bottom Center")};

QLabel* makeLabel(const QString& text, QWidget* parent, const QString& name = QString()) {
    auto* l = new QLabel(text, parent);
    if (!name.isEmpty()) l->setObjectName(name);
    return l;
}

// A status line too narrow for its text shows the whole text as its tool tip.
class FullTextTip : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip) return false;
        auto* label = static_cast<QLabel*>(watched);
        const int room = label->contentsRect().width() - 2 * label->margin() - 2 * label->indent();
        if (label->text().isEmpty() || label->fontMetrics().horizontalAdvance(label->text()) <= room) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), label->text(), label);
        }
        return true;
    }
};

QLabel* makeDisplay(const QString& name, const QString& text, QWidget* parent) {
    auto* l = makeLabel(text, parent, name);
    l->setFrameShape(QFrame::StyledPanel);
    l->setFrameShadow(QFrame::Sunken);
    l->setAlignment(Qt::AlignCenter);
    l->setMinimumWidth(24);
    return l;
}

QLabel* makeSwatch(const QString& name, QWidget* parent) {
    auto* l = makeLabel(QString(), parent, name);
    l->setFixedSize(16, 16);
    l->setFrameShape(QFrame::Box);
    l->setAutoFillBackground(true);
    return l;
}

QComboBox* makeList(const QString& name, const QStringList& entries, QWidget* parent,
                    const QString& toolTip = QString()) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->addItems(entries);
    c->setToolTip(toolTip);
    c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return c;
}

// An up-down control with its display label beside it, as one unit in a row.
QWidget* upDownUnit(UpDown* control, QLabel* display, QWidget* parent) {
    auto* w = new QWidget(parent);
    auto* row = new QHBoxLayout(w);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    control->setParent(w);
    display->setParent(w);
    row->addWidget(display);
    row->addWidget(control);
    return w;
}

void addStampToolbar(KeyedToolbar* bar) {
    bar->addButton(QStringLiteral("time"), QStringLiteral("Insert Time"), true);
    bar->addButton(QStringLiteral("date"), QStringLiteral("Insert Date"), true);
    bar->addButton(QStringLiteral("text"), QStringLiteral("Insert Text"), true);
    bar->addSeparator();
    bar->addButton(QStringLiteral("timecolor"), QStringLiteral("Time Color"));
    bar->addButton(QStringLiteral("datecolor"), QStringLiteral("Date Color"));
    bar->addButton(QStringLiteral("textcolor"), QStringLiteral("Text Color"));
}

} // namespace

Master::Master(QWidget* parent) : QMainWindow(parent), MasterDialog(this) {
    g_instance = this;
    setObjectName(QStringLiteral("Master"));
    setWindowTitle(QStringLiteral("Video Kelvanor 2000"));

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("MasterClient"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    PanelStack = new SmartPanelStack(central);
    column->addWidget(PanelStack);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    column->addLayout(row, 1);

    MasterPanel = new SmartPanel(QStringLiteral("MasterPanel"), QString(), 213, central);
    MasterPanel->setFixedWidth(38);
    MasterPanel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    MasterPanel->setMinimumHeight(213);
    MasterPanel->setMaximumHeight(QWIDGETSIZE_MAX);
    MasterPanel->content()->setContentsMargins(0, 5, 0, 0);
    MasterPanel->content()->setAlignment(Qt::AlignTop);
    MainToolbar = new KeyedToolbar(QStringLiteral("MainToolbar"), MasterPanel);
    MainToolbar->setOrientation(Qt::Vertical);
    MainToolbar->addButton(QStringLiteral("open"), QStringLiteral("Open"));
    MainToolbar->addButton(QStringLiteral("save"), QStringLiteral("Save capture parameters"));
    MainToolbar->addSeparator();
    MainToolbar->addButton(QStringLiteral("movie"), QStringLiteral("Movie capture"), true);
    MainToolbar->addButton(QStringLiteral("image"), QStringLiteral("Image capture"), true);
    MainToolbar->addButton(QStringLiteral("multiple"), QStringLiteral("Multiple Image Capture"), true);
    MainToolbar->addButton(QStringLiteral("webcam"), QString(), true);
    MainToolbar->addSeparator();
    MainToolbar->addButton(QStringLiteral("viewer"), QStringLiteral("Movie Viewer"));
    MainToolbar->addButton(QStringLiteral("about"), QStringLiteral("About Video Kelvanor..."));
    MasterPanel->AttachToolbar(MainToolbar, 0);
    row->addWidget(MasterPanel);

    MDIClient = new QMdiArea(central);
    MDIClient->setObjectName(QStringLiteral("MDIClient"));
    MDIClient->setBackground(QColor(0x80, 0x80, 0x80));
    MDIClient->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    MDIClient->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    row->addWidget(MDIClient, 1);
    setCentralWidget(central);

    buildPanels();
    buildMenus();

    MasterStatus = new StatusPanels(QStringLiteral("MasterStatus"), this);
    MasterStatus->addPanel(QStringLiteral("filename"), QString(), QString(), 3);
    MasterStatus->addPanel(QStringLiteral("diskcap"), QString(), QStringLiteral("Disk Capacity"), 1, 150);
    MasterStatus->addPanel(QStringLiteral("contact"), QStringLiteral("Video Kelvanor 2000 for Linux"),
                           QString(), 0);
    setStatusBar(MasterStatus);

    MasterTimer = new QTimer(this);
    MasterTimer->setObjectName(QStringLiteral("MasterTimer"));
    MasterTimer->setInterval(1000);
    MultipleImageTimer = new QTimer(this);
    MultipleImageTimer->setObjectName(QStringLiteral("MultipleImageTimer"));
    MultipleImageTimer->setInterval(1000);
}

Master::~Master() {
    if (g_instance == this) g_instance = nullptr;
}

Master* Master::instance() {
    return g_instance;
}

void Master::buildPanels() {
    QWidget* host = PanelStack;

    // Device panel.
    MSVIDEOSmartPanel =
        new SmartPanel(QStringLiteral("MSVIDEOSmartPanel"), QStringLiteral("Video"), 35, host);
    msvideotoolbar = new KeyedToolbar(QStringLiteral("msvideotoolbar"), MSVIDEOSmartPanel);
    msvideotoolbar->addButton(QStringLiteral("vidsource"), QStringLiteral("Video Source"));
    msvideotoolbar->addButton(QStringLiteral("viddisplay"), QStringLiteral("Video Display"));
    msvideotoolbar->addButton(QStringLiteral("vidformat"), QStringLiteral("Video Format"));
    msvideotoolbar->addSeparator();
    msvideotoolbar->addButton(QStringLiteral("vidoverlay"), QStringLiteral("Video Overlay"), true);
    msvideotoolbar->addButton(QStringLiteral("vidpreview"), QStringLiteral("Video Preview"), true);
    msvideotoolbar->addSeparator();
    msvideotoolbar->addButton(QStringLiteral("vidinfo"), QStringLiteral("Video Device Information"));
    msvideotoolbar->addButton(QStringLiteral("vidsettings"), QStringLiteral("Video Advanced Settings"));
    MSVIDEOSmartPanel->AttachToolbar(msvideotoolbar);
    MSVIDEOPreviewRate = makeList(QStringLiteral("MSVIDEOPreviewRate"), {}, MSVIDEOSmartPanel,
                                  QStringLiteral("Preview frame rate..."));
    MSVIDEOPreviewRate->setMinimumWidth(80);
    MSVIDEODevice = makeList(QStringLiteral("MSVIDEODevice"), {}, MSVIDEOSmartPanel,
                             QStringLiteral("Microsoft Video for Windows Device Selection..."));
    MSVIDEODevice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    MSVIDEODevice->setMinimumContentsLength(24);
    MSVIDEOSmartPanel->content()->addWidget(MSVIDEOPreviewRate);
    MSVIDEOSmartPanel->content()->addWidget(MSVIDEODevice, 1);

    // Movie panel.
    MoviePanel = new SmartPanel(QStringLiteral("MoviePanel"), QStringLiteral("Movie"), 32, host);
    MovieToolbar = new KeyedToolbar(QStringLiteral("MovieToolbar"), MoviePanel);
    MovieToolbar->addButton(QStringLiteral("filename"), QStringLiteral("Set Movie Clip Filename..."), false,
                            QStringLiteral("avifile"));
    MovieToolbar->addButton(QStringLiteral("audio"), QStringLiteral("Capture Audio (On/Off)"), true);
    MovieToolbar->addButton(QStringLiteral("writeinfo"), QStringLiteral("Write Other Information "), true);
    MovieToolbar->addButton(QStringLiteral("compression"), QStringLiteral("Video Compression"));
    MovieToolbar->addButton(QStringLiteral("otherinfo"),
                            QStringLiteral("Show copyright information window..."));
    MoviePanel->AttachToolbar(MovieToolbar, 3);
    MovieHoursControl = new UpDown(QStringLiteral("MovieHoursControl"), 0, 23, QStringLiteral("Hours"));
    MovieMinutesControl = new UpDown(QStringLiteral("MovieMinutesControl"), 0, 59, QStringLiteral("Minutes"));
    MovieSecondsControl = new UpDown(QStringLiteral("MovieSecondsControl"), 0, 59, QStringLiteral("Seconds"));
    MovieFrameRateControl =
        new UpDown(QStringLiteral("MovieFrameRateControl"), 1, 40, QStringLiteral("Frame rate control"));
    MovieFrameRateControl->setValue(30);
    MovieHoursDisplay = makeDisplay(QStringLiteral("MovieHoursDisplay"), QStringLiteral("00"), MoviePanel);
    MovieMinutesDisplay =
        makeDisplay(QStringLiteral("MovieMinutesDisplay"), QStringLiteral("00"), MoviePanel);
    MovieSecondsDisplay =
        makeDisplay(QStringLiteral("MovieSecondsDisplay"), QStringLiteral("00"), MoviePanel);
    MovieFrameRateDisplay =
        makeDisplay(QStringLiteral("MovieFrameRateDisplay"), QStringLiteral("30 FPS"), MoviePanel);
    MovieFrameRateDisplay->setMinimumWidth(56);
    MovieDisableLimit = new QCheckBox(QStringLiteral("No Limit"), MoviePanel);
    MovieDisableLimit->setObjectName(QStringLiteral("MovieDisableLimit"));
    MovieDisableLimit->setToolTip(QStringLiteral("Manual Stop, unlimited movie duration"));
    {
        auto* c = MoviePanel->content();
        c->addWidget(makeLabel(QStringLiteral("Duration:"), MoviePanel));
        c->addWidget(upDownUnit(MovieHoursControl, MovieHoursDisplay, MoviePanel));
        c->addWidget(makeLabel(QStringLiteral(":"), MoviePanel));
        c->addWidget(upDownUnit(MovieMinutesControl, MovieMinutesDisplay, MoviePanel));
        c->addWidget(makeLabel(QStringLiteral(":"), MoviePanel));
        c->addWidget(upDownUnit(MovieSecondsControl, MovieSecondsDisplay, MoviePanel));
        c->addWidget(MovieDisableLimit);
        c->addSpacing(8);
        c->addWidget(upDownUnit(MovieFrameRateControl, MovieFrameRateDisplay, MoviePanel));
        c->addStretch(1);
    }

    // Audio panel.
    AudioToolbar = new SmartPanel(QStringLiteral("AudioToolbar"), QStringLiteral("Audio"), 29, host);
    AudioRate = makeList(QStringLiteral("AudioRate"),
                         {QStringLiteral("8000 Hz"), QStringLiteral("11025 Hz"), QStringLiteral("22050 Hz"),
                          QStringLiteral("44100 Hz")},
                         AudioToolbar, QStringLiteral("Audio Sample Rate (8Khz,11Khz,22Khz,44Khz)"));
    AudioBits = makeList(QStringLiteral("AudioBits"), {QStringLiteral("8 bit"), QStringLiteral("16 bit")},
                         AudioToolbar, QStringLiteral("Audio Bits (8bit/16bit)"));
    AudioChannels =
        makeList(QStringLiteral("AudioChannels"), {QStringLiteral("Stereo"), QStringLiteral("Mono")},
                 AudioToolbar, QStringLiteral("Audio Channels (Stereo/Mono)"));
    {
        auto* c = AudioToolbar->content();
        c->addWidget(makeLabel(QStringLiteral("Sample rate:"), AudioToolbar));
        c->addWidget(AudioRate);
        c->addWidget(makeLabel(QStringLiteral("Bits:"), AudioToolbar));
        c->addWidget(AudioBits);
        c->addWidget(makeLabel(QStringLiteral("Channels:"), AudioToolbar));
        c->addWidget(AudioChannels);
        c->addStretch(1);
    }

    // Image panel.
    ImagePanel = new SmartPanel(QStringLiteral("ImagePanel"), QStringLiteral("Image"), 62, host);
    ImageToolbar = new KeyedToolbar(QStringLiteral("ImageToolbar"), ImagePanel);
    addStampToolbar(ImageToolbar);
    ImageTimeColor = makeSwatch(QStringLiteral("ImageTimeColor"), ImagePanel);
    ImageDateColor = makeSwatch(QStringLiteral("ImageDateColor"), ImagePanel);
    ImageTextColor = makeSwatch(QStringLiteral("ImageTextColor"), ImagePanel);
    ImageTimePosition = makeList(QStringLiteral("ImageTimePosition"), kPositions, ImagePanel);
    ImageDatePosition = makeList(QStringLiteral("ImageDatePosition"), kPositions, ImagePanel);
    ImageTextPosition = makeList(QStringLiteral("ImageTextPosition"), kPositions, ImagePanel);
    ImageText = new QLineEdit(ImagePanel);
    ImageText->setObjectName(QStringLiteral("ImageText"));
    {
        auto* grid = new QGridLayout;
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setHorizontalSpacing(4);
        grid->setVerticalSpacing(2);
        grid->addWidget(ImageToolbar, 0, 0, 1, 1);
        auto* stamps = new QHBoxLayout;
        stamps->addWidget(makeLabel(QStringLiteral("Time:"), ImagePanel));
        stamps->addWidget(ImageTimeColor);
        stamps->addWidget(ImageTimePosition);
        stamps->addWidget(makeLabel(QStringLiteral("Date:"), ImagePanel));
        stamps->addWidget(ImageDateColor);
        stamps->addWidget(ImageDatePosition);
        stamps->addWidget(makeLabel(QStringLiteral("Text:"), ImagePanel));
        stamps->addWidget(ImageTextColor);
        stamps->addWidget(ImageTextPosition);
        stamps->addStretch(1);
        grid->addLayout(stamps, 1, 0, 1, 2);
        auto* text = new QHBoxLayout;
        text->addWidget(makeLabel(QStringLiteral("Text:"), ImagePanel));
        text->addWidget(ImageText, 1);
        grid->addLayout(text, 0, 1);
        ImagePanel->content()->addLayout(grid, 1);
        ImageToolbar->show();
    }

    // Multiple-image panel.
    MultipleImagePanel = new SmartPanel(QStringLiteral("MultipleImagePanel"),
                                        QStringLiteral("Mutiple Image Capture"), 95, host);
    MultipleImageToolbar = new KeyedToolbar(QStringLiteral("MultipleImageToolbar"), MultipleImagePanel);
    MultipleImageToolbar->addButton(QStringLiteral("filename"), QStringLiteral("Set Movie Clip Filename..."),
                                    false, QStringLiteral("avifile"));
    MultipleImageToolbar->addButton(QStringLiteral("writeinfo"), QStringLiteral("Write Other Information "),
                                    true);
    MultipleImageToolbar->addButton(QStringLiteral("otherinfo"),
                                    QStringLiteral("Show copyright information window..."));
    MultipleImageToolbar2 = new KeyedToolbar(QStringLiteral("MultipleImageToolbar2"), MultipleImagePanel);
    addStampToolbar(MultipleImageToolbar2);
    MultipleImageTimeColor = makeSwatch(QStringLiteral("MultipleImageTimeColor"), MultipleImagePanel);
    MultipleImageDateColor = makeSwatch(QStringLiteral("MultipleImageDateColor"), MultipleImagePanel);
    MultipleImageTextColor = makeSwatch(QStringLiteral("MultipleImageTextColor"), MultipleImagePanel);
    MultipleImageTimePosition =
        makeList(QStringLiteral("MultipleImageTimePosition"), kPositions, MultipleImagePanel);
    MultipleImageDatePosition =
        makeList(QStringLiteral("MultipleImageDatePosition"), kPositions, MultipleImagePanel);
    MultipleImageTextPosition =
        makeList(QStringLiteral("MultipleImageTextPosition"), kPositions, MultipleImagePanel);
    // Compact position lists, so the stamp row fits the panel at the window's 640 pixels.
    for (QComboBox* list : {MultipleImageTimePosition, MultipleImageDatePosition, MultipleImageTextPosition})
        list->setFixedWidth(96);
    MultipleImageTimeColor->setToolTip(QStringLiteral("Time Color"));
    MultipleImageDateColor->setToolTip(QStringLiteral("Date Color"));
    MultipleImageTextColor->setToolTip(QStringLiteral("Text Color"));
    MultipleImageText = new QLineEdit(MultipleImagePanel);
    MultipleImageText->setObjectName(QStringLiteral("MultipleImageText"));
    MultipleImageFrameRate = makeList(QStringLiteral("MultipleImageFrameRate"), {}, MultipleImagePanel,
                                      QStringLiteral("Frame Rate for Movie Viewer"));
    MultipleImageMode = makeList(
        QStringLiteral("MultipleImageMode"),
        {QStringLiteral("Movie file (.AVI)"), QStringLiteral("Multiple Bitmap file (.BMP)"),
         QStringLiteral("Multiple JPEG file (.JPG)"), QStringLiteral("Refresh Same Bitmap file (.BMP)"),
         QStringLiteral("Refresh Same JPEG file (.JPG)"), QStringLiteral("Put On Clipboard")},
        MultipleImagePanel);
    MultipleImageAutoShoot = new QCheckBox(QStringLiteral("Automatic"), MultipleImagePanel);
    MultipleImageAutoShoot->setObjectName(QStringLiteral("MultipleImageAutoShoot"));
    Shooter = new QPushButton(QStringLiteral("Shoot"), MultipleImagePanel);
    Shooter->setObjectName(QStringLiteral("Shooter"));
    Shooter->setEnabled(false); // usable only while a multiple-image run is going
    MultipleImageHoursControl =
        new UpDown(QStringLiteral("MultipleImageHoursControl"), 0, 59, QStringLiteral("Hours"));
    MultipleImageMinutesControl =
        new UpDown(QStringLiteral("MultipleImageMinutesControl"), 0, 59, QStringLiteral("Minutes"));
    MultipleImageSecondsControl =
        new UpDown(QStringLiteral("MultipleImageSecondsControl"), 0, 59, QStringLiteral("Seconds"));
    MultipleImageHoursDisplay =
        makeDisplay(QStringLiteral("MultipleImageHoursDisplay"), QStringLiteral("00"), MultipleImagePanel);
    MultipleImageMinutesDisplay =
        makeDisplay(QStringLiteral("MultipleImageMinutesDisplay"), QStringLiteral("00"), MultipleImagePanel);
    MultipleImageSecondsDisplay =
        makeDisplay(QStringLiteral("MultipleImageSecondsDisplay"), QStringLiteral("00"), MultipleImagePanel);
    {
        auto* grid = new QGridLayout;
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setHorizontalSpacing(4);
        grid->setVerticalSpacing(1);
        auto* line1 = new QHBoxLayout;
        line1->addWidget(MultipleImageToolbar);
        line1->addWidget(makeLabel(QStringLiteral("Shoot Type:"), MultipleImagePanel));
        line1->addWidget(MultipleImageMode);
        line1->addWidget(makeLabel(QStringLiteral("Viewer Frame Rate:"), MultipleImagePanel));
        line1->addWidget(MultipleImageFrameRate);
        line1->addStretch(1);
        auto* line2 = new QHBoxLayout;
        line2->addWidget(MultipleImageAutoShoot);
        line2->addWidget(makeLabel(QStringLiteral("Interval:"), MultipleImagePanel));
        line2->addWidget(
            upDownUnit(MultipleImageHoursControl, MultipleImageHoursDisplay, MultipleImagePanel));
        line2->addWidget(makeLabel(QStringLiteral(":"), MultipleImagePanel));
        line2->addWidget(
            upDownUnit(MultipleImageMinutesControl, MultipleImageMinutesDisplay, MultipleImagePanel));
        line2->addWidget(makeLabel(QStringLiteral(":"), MultipleImagePanel));
        line2->addWidget(
            upDownUnit(MultipleImageSecondsControl, MultipleImageSecondsDisplay, MultipleImagePanel));
        line2->addWidget(Shooter);
        line2->addSpacing(8);
        line2->addWidget(makeLabel(QStringLiteral("Text:"), MultipleImagePanel));
        line2->addWidget(MultipleImageText, 1);
        auto* line3 = new QHBoxLayout;
        // The stamp toolbar names the stamps; each swatch and list follows in its order.
        line3->addWidget(MultipleImageToolbar2);
        line3->addWidget(MultipleImageTimeColor);
        line3->addWidget(MultipleImageTimePosition);
        line3->addWidget(MultipleImageDateColor);
        line3->addWidget(MultipleImageDatePosition);
        line3->addWidget(MultipleImageTextColor);
        line3->addWidget(MultipleImageTextPosition);
        line3->addStretch(1);
        grid->addLayout(line1, 0, 0);
        grid->addLayout(line2, 1, 0);
        grid->addLayout(line3, 2, 0);
        MultipleImagePanel->content()->addLayout(grid, 1);
    }

    // Webcam panel: a caption only.
    WebcamPanel = new SmartPanel(QStringLiteral("WebcamPanel"), QStringLiteral("Webcam"), 35, host);
    WebcamPanel->content()->addStretch(1);

    // Capture controls.
    ControlStatusPanel =
        new SmartPanel(QStringLiteral("ControlStatusPanel"), QStringLiteral("Capture"), 35, host);
    GlobalToolbar = new KeyedToolbar(QStringLiteral("GlobalToolbar"), ControlStatusPanel);
    GlobalToolbar->addButton(QStringLiteral("record"), QStringLiteral("Start capture"));
    GlobalToolbar->addButton(QStringLiteral("autostart"), QStringLiteral("Autostart"));
    StatusTime = makeDisplay(QStringLiteral("StatusTime"), QStringLiteral("00:00:00.00"), ControlStatusPanel);
    StatusTime->setToolTip(QStringLiteral("Capture time (Hours:Minutes:Seconds:Frames)"));
    StatusTime->setMinimumWidth(90);
    QFont mono = StatusTime->font();
    mono.setFamily(QStringLiteral("DejaVu Sans Mono"));
    mono.setBold(true);
    StatusTime->setFont(mono);
    StatusString = makeLabel(QString(), ControlStatusPanel, QStringLiteral("StatusString"));
    StatusString->setFrameShape(QFrame::StyledPanel);
    StatusString->setFrameShadow(QFrame::Sunken);
    StatusString->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusString->installEventFilter(new FullTextTip(StatusString));
    ControlStatusPanel->AttachToolbar(GlobalToolbar);
    ControlStatusPanel->content()->addWidget(StatusTime);
    ControlStatusPanel->content()->addWidget(StatusString, 1);
}

QMenu* Master::buildMenu(QMenu* menu, const QString& name, const QList<QPair<QString, QKeySequence>>& items) {
    menu->setObjectName(name);
    for (int i = 0; i < items.size(); ++i) {
        QAction* a;
        if (items[i].first == QLatin1String("-")) {
            a = menu->addSeparator();
        } else {
            a = menu->addAction(items[i].first);
            if (!items[i].second.isEmpty()) a->setShortcut(items[i].second);
            connect(a, &QAction::triggered, this, [this, name, i] { emit menuClicked(name, i); });
        }
        a->setObjectName(name + QLatin1Char('_') + QString::number(i));
    }
    return menu;
}

void Master::buildMenus() {
    QMenuBar* bar = menuBar();
    using Items = QList<QPair<QString, QKeySequence>>;
    auto item = [](const char* caption, QKeySequence key = {}) {
        return qMakePair(QString::fromUtf8(caption), key);
    };

    // Ctrl+Q and F1 as on Linux desktops (named outright: not every platform theme binds
    // them); no item of the program has a key of its own there.
    FileMenu = buildMenu(bar->addMenu(QStringLiteral("&File")), QStringLiteral("FileMenu"),
                         Items{item("&Movie Capture..."), item("&Image Capture..."),
                               item("M&ultiple Image Capture..."), item("Movie &Viewer..."), item("-"),
                               item("&Open Capture File..."), item("&Save Capture File..."), item("-"),
                               item("&Preferences"), item("&System Information..."), item("-"),
                               item("E&xit", QKeySequence(Qt::CTRL | Qt::Key_Q))});
    menuItem(QStringLiteral("FileMenu"), 8)->setEnabled(false);

    EditMenu = buildMenu(
        bar->addMenu(QStringLiteral("&Edit")), QStringLiteral("EditMenu"),
        Items{item("Capture Frame", QKeySequence(Qt::Key_F11)), item("-"), item("Other Information")});

    ViewMenu = buildMenu(bar->addMenu(QStringLiteral("&View")), QStringLiteral("ViewMenu"),
                         Items{item("Overlay Mode", QKeySequence(Qt::CTRL | Qt::Key_O)),
                               item("Preview Mode", QKeySequence(Qt::CTRL | Qt::Key_P)), item("-"),
                               item("Full Screen", QKeySequence(Qt::CTRL | Qt::Key_F))});

    VideoMenu = buildMenu(bar->addMenu(QStringLiteral("&Video Settings")), QStringLiteral("VideoMenu"),
                          Items{item("Video Source..."), item("Video Format..."), item("Video Display..."),
                                item("-"), item("Video Compression"), item("Video Codec's"), item("-"),
                                item("Video Advanced Settings"), item("-"), item("Video Capture Device...")});

    AudioMenu =
        buildMenu(bar->addMenu(QStringLiteral("&Audio Settings")), QStringLiteral("AudioMenu"),
                  Items{item("Audio O&ff"), item("Audio &On"), item("-"), item("&Mono"), item("&Stereo"),
                        item("-"), item(" &8 bits"), item("1&6 bits"), item("-"), item("Sample &Rate"),
                        item("-"), item("Recording Settings"), item("-"), item("Sound Volume")});
    for (int i : {3, 4, 6, 7})
        menuItem(QStringLiteral("AudioMenu"), i)->setCheckable(true);
    SampleRateMenu = new QMenu(this);
    buildMenu(SampleRateMenu, QStringLiteral("SampleRateMenu"),
              Items{item("8 Khz"), item("11 Khz"), item("22 Khz"), item("44 Khz")});
    for (QAction* a : SampleRateMenu->actions())
        a->setCheckable(true);
    menuItem(QStringLiteral("AudioMenu"), 9)->setMenu(SampleRateMenu);

    WindowMenu = buildMenu(bar->addMenu(QStringLiteral("&Window")), QStringLiteral("WindowMenu"),
                           Items{item("Tile &Horizontally"), item("Tile &Vertically"), item("&Cascade"),
                                 item("&Arrange Icons")});
    connect(this, &Master::menuClicked, this, [this](const QString& menu, int index) {
        if (menu == QLatin1String("WindowMenu")) WindowMenu_Click(index);
    });

    HelpMenu = buildMenu(bar->addMenu(QStringLiteral("&Help")), QStringLiteral("HelpMenu"),
                         Items{item("Intro", QKeySequence(Qt::Key_F1)), item("-"), item("&Contents"),
                               item("&Search For Help On..."), item("-"), item("&Web Site"),
                               item("&Technical Support"), item("&Register"), item("-"),
                               item("About Video Kelvanor...")});
    for (int i : {2, 3, 5, 6, 7})
        menuItem(QStringLiteral("HelpMenu"), i)->setEnabled(false);
}

QAction* Master::menuItem(const QString& menu, int index) const {
    return findChild<QAction*>(menu + QLatin1Char('_') + QString::number(index));
}

void Master::WindowMenu_Click(int index) {
    switch (index) {
    case 0:   // tile horizontally: each window full width, one above the other
    case 1: { // tile vertically: each window full height, side by side
        const auto windows = MDIClient->subWindowList();
        if (windows.isEmpty()) return;
        const QRect area = MDIClient->viewport()->rect();
        const int n = int(windows.size());
        for (int i = 0; i < n; ++i) {
            windows[i]->showNormal();
            if (index == 0)
                windows[i]->setGeometry(0, i * (area.height() / n), area.width(), area.height() / n);
            else
                windows[i]->setGeometry(i * (area.width() / n), 0, area.width() / n, area.height());
        }
        break;
    }
    case 2:
        MDIClient->cascadeSubWindows();
        break;
    case 3: { // line up the minimised windows along the bottom edge
        int x = 0;
        const int bottom = MDIClient->viewport()->height();
        for (QMdiSubWindow* w : MDIClient->subWindowList()) {
            if (!w->isMinimized()) continue;
            w->move(x, bottom - w->height());
            x += w->width();
        }
        break;
    }
    default:
        break;
    }
}

void Master::AllControls(bool state) {
    QWidget* const widgets[] = {MSVIDEODevice,
                                MSVIDEOPreviewRate,
                                msvideotoolbar,
                                MovieToolbar,
                                MovieFrameRateControl,
                                MovieDisableLimit,
                                MovieHoursControl,
                                MovieMinutesControl,
                                MovieSecondsControl,
                                AudioChannels,
                                AudioBits,
                                AudioRate,
                                ImageToolbar,
                                MultipleImageToolbar,
                                MultipleImageMode,
                                MultipleImageAutoShoot,
                                MultipleImageHoursControl,
                                MultipleImageMinutesControl,
                                MultipleImageSecondsControl,
                                MainToolbar};
    for (QWidget* w : widgets)
        w->setEnabled(state);
    GlobalToolbar->button(QStringLiteral("autostart"))->setEnabled(state);
}

void Master::ShowAudioPanel(bool show) {
    AudioToolbar->setVisible(show);
    MovieToolbar->setValue(QStringLiteral("audio"), show ? 1 : 0);
}

void Master::paintSwatch(QLabel* swatch, quint32 bgr) {
    QPalette pal = swatch->palette();
    pal.setColor(QPalette::Window, QColor(bgr & 0xff, (bgr >> 8) & 0xff, (bgr >> 16) & 0xff));
    swatch->setPalette(pal);
    swatch->setProperty("color", bgr);
}

void Master::closeEvent(QCloseEvent* event) {
    if (onCloseRequest && !onCloseRequest()) {
        event->ignore();
        return;
    }
    event->accept();
}

void Master::setWholeSize(QSize size) {
    m_wholeSize = size;
    m_frameExtra = QSize(-1, -1);
    applyWholeSize();
}

void Master::applyWholeSize() {
    if (!m_wholeSize.isValid()) return;
    const QSize extra = frameGeometry().size() - geometry().size();
    if (extra == m_frameExtra) return;
    m_frameExtra = extra;
    resize(m_wholeSize - extra);
}

bool Master::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    switch (event->type()) {
    case QEvent::Show:
    // After the desktop has shown the window: a Wayland client draws its own frame,
    // whose size is known from then on (no Move follows there).
    case QEvent::ShowToParent:
    case QEvent::Move:
    case QEvent::WindowStateChange:
        // Maximized or full screen, the desktop decides the size.
        if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) applyWholeSize();
        break;
    default:
        break;
    }
    return handled;
}
