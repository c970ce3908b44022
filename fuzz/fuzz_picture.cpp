// Picture loading into an image window's picture box, as the File menu's open does:
// any bytes as the file (its format is read from its contents), then the window is
// laid out and painted.
#include "FuzzSupport.h"
#include "PictureBox.h"
#include "wImage.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace {

QMdiArea* g_area = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzSupport::startApplication();
    g_area = new QMdiArea;
    g_area->resize(800, 600);
    g_area->show();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString file = FuzzSupport::path("picture");
    FuzzSupport::writeFile(file, data, size);
    wImage* window = wImage::openPictureFile(g_area, file);
    FuzzSupport::require(window != nullptr);
    const PictureBox* box = window->MasterImage();
    // Either the picture is there, whole, or the user was told and the box is empty.
    if (box->hasPicture())
        FuzzSupport::require(box->image().size() == box->picture().size() && MsgBoxTest::shown().empty());
    else
        FuzzSupport::require(MsgBoxTest::texts() == QStringList{QStringLiteral("Bad file format.")});
    window->grab(); // paints the picture box
    MsgBoxTest::clear();
    for (QMdiSubWindow* sub : g_area->subWindowList())
        delete sub;
    return 0;
}
