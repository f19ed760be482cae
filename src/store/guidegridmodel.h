#pragma once

#include "model/records.h"
#include "store/guidegridrules.h"
#include "store/guideprogram.h"

#include <QAbstractListModel>
#include <QCoroTask>
#include <QDateTime>
#include <QList>
#include <QTimer>

#include <functional>

// A programme's cell in the grid: where it goes and how it is drawn. A row's cells are slots:
// one left empty (`filled` false) draws nothing.
class GuideCell
{
    Q_GADGET
    Q_PROPERTY(bool filled MEMBER filled CONSTANT FINAL)
    Q_PROPERTY(GuideProgram program MEMBER program CONSTANT FINAL)
    Q_PROPERTY(QString timeText MEMBER timeText CONSTANT FINAL)
    Q_PROPERTY(double x MEMBER x CONSTANT FINAL)
    Q_PROPERTY(double width MEMBER width CONSTANT FINAL)
    Q_PROPERTY(bool clippedStart MEMBER clippedStart CONSTANT FINAL)
    Q_PROPERTY(bool clippedEnd MEMBER clippedEnd CONSTANT FINAL)
    Q_PROPERTY(bool live MEMBER live CONSTANT FINAL)
    Q_PROPERTY(bool past MEMBER past CONSTANT FINAL)
    Q_PROPERTY(bool catchup MEMBER catchup CONSTANT FINAL)
    Q_PROPERTY(double startTime READ startTime CONSTANT FINAL) // QML has no 64-bit integer
    Q_PROPERTY(int row MEMBER row CONSTANT FINAL)

public:
    bool filled = false;
    GuideProgram program;
    QString timeText; // the programme's time range, made once rather than at every binding
    int row = 0;      // the channel's
    double x = 0;
    double width = 0;
    bool clippedStart = false;
    bool clippedEnd = false;
    bool live = false;    // on air now
    bool past = false;    // over
    bool catchup = false; // over and still in the channel's archive
    double startTime() const { return double(program.start); }
    friend bool operator==(const GuideCell &, const GuideCell &) = default;
};

// A half-hour mark of the time header.
class GuideTick
{
    Q_GADGET
    Q_PROPERTY(double x MEMBER x CONSTANT FINAL)
    Q_PROPERTY(QString label MEMBER label CONSTANT FINAL)
    Q_PROPERTY(bool fullHour MEMBER fullHour CONSTANT FINAL)

public:
    double x = 0;
    QString label;
    bool fullHour = false;
    friend bool operator==(const GuideTick &, const GuideTick &) = default;
};

// The guide grid for a view: one row a channel (in the order the view shows them), each row
// with the cells of its programmes. Only the rows around what the view shows hold
// programmes, and only the programmes around the view's hours are cells; the view says what
// it shows (`setViewport`) and rows fill in as their programmes arrive from the guide
// database, the rows in view before those read ahead. A programme keeps its cell's slot for
// as long as it stays a cell, so a view that draws slot by slot lays out only what enters.
// Geometry and keyboard rules are GuideGridRules'; the focus (a row and a time) lives here,
// so a view only draws.
//
// QML binds a vertical list to this model (roles `channel`, `cells`, `loaded`), lays each
// row's cells out by their `x` and `width` inside a flickable of `contentWidth`, draws the
// `ticks` above and a line at `nowX`, scrolls to `focusRow`/`focusX`, and hands keys to
// `moveFocus` and Enter to `activate`.
class GuideGridModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(QList<MediaItem> channels READ channels WRITE setChannels NOTIFY channelsChanged FINAL)
    Q_PROPERTY(int count READ count NOTIFY channelsChanged FINAL)
    Q_PROPERTY(qint64 origin READ origin NOTIFY geometryChanged FINAL)
    Q_PROPERTY(qint64 end READ end NOTIFY geometryChanged FINAL)
    Q_PROPERTY(double pixelsPerMinute READ pixelsPerMinute WRITE setPixelsPerMinute NOTIFY geometryChanged FINAL)
    Q_PROPERTY(double contentWidth READ contentWidth NOTIFY geometryChanged FINAL)
    Q_PROPERTY(QList<GuideTick> ticks READ ticks NOTIFY geometryChanged FINAL)
    Q_PROPERTY(double nowX READ nowX NOTIFY nowChanged FINAL)
    // The x at the view's left edge: one value the time header and every row follow.
    Q_PROPERTY(double scrollX READ scrollX WRITE setScrollX NOTIFY scrollXChanged FINAL)
    Q_PROPERTY(int focusRow READ focusRow NOTIFY focusChanged FINAL)
    Q_PROPERTY(qint64 focusTime READ focusTime NOTIFY focusChanged FINAL)
    Q_PROPERTY(double focusX READ focusX NOTIFY focusChanged FINAL)
    Q_PROPERTY(GuideProgram focusedProgram READ focusedProgram NOTIFY focusChanged FINAL)
    Q_PROPERTY(bool hasFocusedProgram READ hasFocusedProgram NOTIFY focusChanged FINAL)
    // The focused programme's start (-1 for none) and its day, as the time header names it.
    Q_PROPERTY(double focusedStart READ focusedStart NOTIFY focusChanged FINAL)
    Q_PROPERTY(QString focusedDay READ focusedDay NOTIFY focusChanged FINAL)
    // What Enter does on the focus, in words ("Watch live", …; empty when nothing).
    Q_PROPERTY(QString enterText READ enterText NOTIFY focusChanged FINAL)
    // The focused programme's description, read once the focus rests on it.
    Q_PROPERTY(QString focusedDescription READ focusedDescription NOTIFY focusedDescriptionChanged FINAL)

public:
    enum Role { ChannelRole = Qt::UserRole + 1, CellsRole, LoadedRole };

    // The keys a view hands on (Left/Right, Up/Down, Page Up/Down, Home, Ctrl+Left/Right).
    enum class Key { Left, Right, Up, Down, PageUp, PageDown, Home, DayBack, DayForward };
    Q_ENUM(Key)

    using Loader = std::function<QCoro::Task<GuideWindow>(QStringList channelIds, qint64 from, qint64 to)>;
    using DetailsLoader = std::function<QCoro::Task<std::optional<GuideProgram>>(QString channelId, qint64 start)>;
    using Clock = std::function<qint64()>;

    explicit GuideGridModel(QObject *parent = nullptr);

    void setLoader(Loader loader) { m_loader = std::move(loader); }
    void setDetailsLoader(DetailsLoader loader) { m_detailsLoader = std::move(loader); }
    void setClock(Clock clock); // tests

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QList<MediaItem> &channels() const { return m_channels; }
    // New rows: the focus goes to the first one at the current time.
    void setChannels(const QList<MediaItem> &channels);
    int count() const { return int(m_channels.size()); }

    qint64 origin() const { return m_scale.origin; }
    qint64 end() const { return m_scale.end; }
    double pixelsPerMinute() const { return m_scale.pixelsPerMinute; }
    void setPixelsPerMinute(double pixelsPerMinute);
    double contentWidth() const { return GuideGridRules::width(m_scale); }
    QList<GuideTick> ticks() const { return m_ticks; }
    double nowX() const;
    double scrollX() const { return m_scrollX; }
    void setScrollX(double x);

    int focusRow() const { return m_focus.row; }
    qint64 focusTime() const { return m_focus.time; }
    double focusX() const;
    GuideProgram focusedProgram() const { return m_focusedProgram.value_or(GuideProgram()); }
    bool hasFocusedProgram() const { return m_focusedProgram.has_value(); }
    QString focusedDescription() const { return m_focusedDescription; }
    QString enterText() const;
    double focusedStart() const { return m_focusedProgram ? double(m_focusedProgram->start) : -1; }
    QString focusedDay() const { return m_focusedProgram ? dayOf(m_focusedProgram->start) : QString(); }

    // What the view shows: rows [firstRow, lastRow] and x from left to right. New channels start
    // it over at the top, at the opening hour, the size it had.
    Q_INVOKABLE void setViewport(int firstRow, int lastRow, double left, double right);
    // False when the key leads nowhere (the first row, the grid's first or last hour), so that
    // a view can hand the key on.
    Q_INVOKABLE bool moveFocus(GuideGridModel::Key key);
    // A key of the grid: arrows, Page Up/Down, Home, Ctrl+Left/Right move the focus, Enter and
    // Return activate it. False for any other key, and for a move that leads nowhere.
    Q_INVOKABLE bool handleKey(int key, int modifiers);
    // Where a view `viewWidth` wide whose left edge is at `left` scrolls to show the focus.
    Q_INVOKABLE double scrollFor(double left, double viewWidth, double margin) const;
    // Where a view opens: just before now.
    Q_INVOKABLE double openingLeft(double viewWidth) const;
    // The day at `x`, as the time header names it.
    Q_INVOKABLE QString dayAt(double x) const;
    // The day `time` (seconds since 1970) falls in, named the same way.
    Q_INVOKABLE QString dayOf(qint64 time) const;
    // When the guide was last brought up to date, in words.
    Q_INVOKABLE QString updatedText(const QDateTime &when) const;
    // A click: the focus goes to that row and time.
    Q_INVOKABLE void focusAt(int row, double x);
    // Enter on the focus: plays the channel, plays the recording, or shows the details (the
    // programme comes with its description).
    Q_INVOKABLE void activate();

    // The programmes a row holds (empty while not loaded).
    QList<GuideProgram> programmesOf(int row) const;
    bool isLoaded(int row) const;
    // Everything is read again (another guide was stored).
    void reload();

Q_SIGNALS:
    void channelsChanged();
    void geometryChanged();
    void nowChanged();
    void scrollXChanged();
    void focusChanged();
    void focusedDescriptionChanged();
    void playRequested(const MediaItem &channel);
    void catchupRequested(const MediaItem &channel, const EpgProgram &program);
    void detailsRequested(const MediaItem &channel, const GuideProgram &program);

private:
    struct Row
    {
        QList<GuideProgram> programmes;
        QList<GuideCell> cells;
        qint64 from = 0; // the span loaded
        qint64 to = 0;
        bool loaded = false;
    };

    qint64 now() const { return m_clock ? m_clock() : QDateTime::currentSecsSinceEpoch(); }
    void resetSpan();
    void updateTicks();
    // True when the row's cells changed.
    bool updateCells(int row);
    void updateAllCells();
    // dataChanged for these rows (ascending), a signal per run of neighbours.
    void emitRows(const QList<int> &rows, const QList<int> &roles);
    void setViewSpan(double left, double right);
    void updateFocusedProgram();
    void setFocus(GuideGridRules::Focus focus);
    void loadWanted();
    QCoro::Task<> load(QList<int> rows, qint64 from, qint64 to);
    QCoro::Task<> requestDetails(MediaItem channel, GuideProgram program);
    QCoro::Task<> readDescription();
    void setFocusedDescription(const QString &text);
    GuideGridRules::Bounds bounds() const;
    void tick();

    QList<MediaItem> m_channels;
    QList<Row> m_rows;
    GuideGridRules::Scale m_scale;
    QList<GuideTick> m_ticks;
    GuideGridRules::Focus m_focus;
    std::optional<GuideProgram> m_focusedProgram;
    Loader m_loader;
    DetailsLoader m_detailsLoader;
    Clock m_clock;
    QTimer m_minute;
    double m_scrollX = 0;
    QString m_focusedDescription;
    QTimer m_descriptionDelay; // the focus passing over a cell reads nothing
    quint64 m_descriptionRequest = 0;
    qint64 m_lastTick = 0;

    // The viewport and the load in flight.
    int m_firstRow = 0;
    int m_lastRow = -1;
    double m_viewLeft = 0;
    double m_viewRight = 0;
    qint64 m_viewFrom = 0;
    qint64 m_viewTo = 0;
    bool m_loading = false;
    quint64 m_epoch = 0; // raised by new channels or a new guide: older answers are dropped
};

Q_DECLARE_METATYPE(GuideCell)
Q_DECLARE_METATYPE(GuideTick)
