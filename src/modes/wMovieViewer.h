#pragma once

#include <QSize>
#include <QString>
#include <QWidget>

class MoviePlayer;
class QMdiArea;

// A window that plays one AVI file in its player control Movie. Each opening makes
// a new window, so several can play at once; each lives as an MDI child of the main
// window until the user closes it. Once the player has opened the file, the window
// fits itself around the movie (Movie_OpenComplete). UI thread only.
class wMovieViewer : public QWidget {
    Q_OBJECT
public:
    explicit wMovieViewer(QWidget* parent = nullptr);

    // Opens `path` in a new viewer in `area` (a top-level window when null): captioned
    // with the file's name, shown and active. A file that cannot be played shows the
    // player's error text in the window.
    static wMovieViewer* OpenMovie(QMdiArea* area, const QString& path);
    // The same in the main window's work area (top level when there is no main window).
    static wMovieViewer* OpenMovie(const QString& path);

    MoviePlayer* Movie;

    // The player's open-complete event: fits the window around the movie.
    void Movie_OpenComplete();

    // The narrowest the player control is made, whatever the movie's width.
    static constexpr int kMinMovieWidthTwips = 3400;

    struct Fit {
        QSize movie;  // the player control: picture plus control bar, pixels
        QSize window; // the window's outer size (caption bar and borders included)
    };
    // The sizes for a movie whose picture is `video` pixels and a control bar
    // `barHeight` high. The control is at least 3400 twips wide; the window is two
    // borders wider than the control and a caption plus 20 border heights taller. A
    // movie that would make the window larger than `limit` (ignored when empty) is
    // scaled down, keeping its aspect ratio. Frame sizes and twips come from SystemMetrics;
    // where the child window's sizing frame is thicker than those borders, the window
    // grows to hold the control whole.
    static Fit fit(QSize video, int barHeight, QSize limit);
    // How much wider and taller the window is than the control.
    static QSize extraSize();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitWindow();
    // The largest outer size the window may take: its MDI area, else the screen.
    QSize sizeLimit() const;
};
