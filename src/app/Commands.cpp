#include "Commands.h"

#include "WinApi32.h"
#include "wSplash.h"

namespace Commands {

void connectAll(Master& m) {
    QObject::connect(&m, &Master::menuClicked, &m, [&m](const QString& menu, int index) {
        if (menu == QLatin1String("FileMenu"))
            FileMenu_Click(m, index);
        else if (menu == QLatin1String("EditMenu"))
            EditMenu_Click(m, index);
        else if (menu == QLatin1String("ViewMenu"))
            ViewMenu_Click(m, index);
        else if (menu == QLatin1String("VideoMenu"))
            VideoMenu_Click(m, index);
        else if (menu == QLatin1String("AudioMenu"))
            AudioMenu_Click(m, index);
        else if (menu == QLatin1String("SampleRateMenu"))
            SampleRateMenu_Click(m, index);
        else if (menu == QLatin1String("HelpMenu"))
            HelpMenu_Click(m, index);
        // The Window menu is the form's own.
    });
}

void FileMenu_Click(Master& m, int index) {
    switch (index) {
    case 9:
        WinApi32::RunSystemInformation();
        break;
    case 11: // E&xit: the close request, with its question
        m.close();
        break;
    default:
        break;
    }
}

void EditMenu_Click(Master&, int) {}

void ViewMenu_Click(Master&, int) {}

void VideoMenu_Click(Master&, int) {}

void HelpMenu_Click(Master& m, int index) {
    switch (index) {
    case 0: { // Intro: the splash, not modal, closing itself after 4 s
        auto* splash = new wSplash(&m);
        splash->setAttribute(Qt::WA_DeleteOnClose);
        splash->show();
        break;
    }
    default:
        break;
    }
}

} // namespace Commands
