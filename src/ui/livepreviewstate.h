#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

// The live preview filling the window: the same player grows over the columns (no new player,
// no second connection), and may fill the screen on top of that. Keys and double-clicks on the
// preview come here; the pane zaps and the window follows the requests.
class LivePreviewState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool filled READ filled NOTIFY filledChanged FINAL)
    // Told by the pane: its window fills the screen.
    Q_PROPERTY(bool fullScreen READ fullScreen WRITE setFullScreen NOTIFY fullScreenChanged FINAL)
    // Told by the pane: a channel plays in the preview. Only a playing preview fills the window.
    Q_PROPERTY(bool showsPreview READ showsPreview WRITE setShowsPreview NOTIFY showsPreviewChanged FINAL)
    // Told by the pane: the catch-up panel is open. It lives in the columns, so they come back.
    Q_PROPERTY(bool catchupOpen READ catchupOpen WRITE setCatchupOpen NOTIFY catchupOpenChanged FINAL)

public:
    using QObject::QObject;

    bool filled() const { return m_filled; }
    bool fullScreen() const { return m_fullScreen; }
    void setFullScreen(bool fullScreen);
    bool showsPreview() const { return m_showsPreview; }
    void setShowsPreview(bool shows);
    bool catchupOpen() const { return m_catchupOpen; }
    void setCatchupOpen(bool open);

    // A key on the preview: true when it did something.
    Q_INVOKABLE bool press(int key, int modifiers);
    // F, F11 and a double-click: into full screen with the preview filling it, or back out to
    // whatever the preview was before.
    Q_INVOKABLE void toggleFullScreen();

Q_SIGNALS:
    void filledChanged();
    void fullScreenChanged();
    void showsPreviewChanged();
    void catchupOpenChanged();
    void zapRequested(int delta);
    void enterFullScreenRequested();
    void leaveFullScreenRequested();

private:
    void setFilled(bool filled);

    bool m_filled = false;
    bool m_fullScreen = false;
    bool m_showsPreview = false;
    bool m_catchupOpen = false;
    // Whether the preview filled the window before full screen began, and whether that full
    // screen is one this asked for (the window may also start full screen on its own).
    bool m_filledBefore = false;
    bool m_entering = false;
};
