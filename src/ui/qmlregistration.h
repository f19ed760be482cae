#pragma once

// How the store's C++ types reach the screens. The store itself stays free of QML: these
// declarations register it from here.

#include "model/enums.h"
#include "model/playlist.h"
#include "model/records.h"
#include "store/appstore.h"
#include "store/guidegridmodel.h"
#include "store/programguide.h"

#include <QJSEngine>
#include <QQmlEngine>
#include <QtQml/qqmlregistration.h>

// The one store of the run, made by the application (or a test) before any screen loads.
struct AppStoreForeign
{
    Q_GADGET
    QML_FOREIGN(AppStore)
    QML_NAMED_ELEMENT(AppStore)
    QML_SINGLETON

public:
    static inline AppStore *instance = nullptr;

    static AppStore *create(QQmlEngine *, QJSEngine *engine)
    {
        Q_ASSERT(instance);
        Q_ASSERT(engine->thread() == instance->thread());
        // The application owns the store; the engine must never delete it.
        QJSEngine::setObjectOwnership(instance, QJSEngine::CppOwnership);
        return instance;
    }
};

// Sections and orderings, as Catalog.Live, Catalog.Movies, … in QML.
namespace CatalogForeign {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(Mavu)
QML_NAMED_ELEMENT(Catalog)
} // namespace CatalogForeign

struct PlaylistForeign
{
    Q_GADGET
    QML_FOREIGN(Playlist)
    QML_VALUE_TYPE(playlist)
};

struct CategoryForeign
{
    Q_GADGET
    QML_FOREIGN(Category)
    QML_VALUE_TYPE(category)
};

struct MediaItemForeign
{
    Q_GADGET
    QML_FOREIGN(MediaItem)
    QML_VALUE_TYPE(mediaItem)
};

struct VodInfoForeign
{
    Q_GADGET
    QML_FOREIGN(VodInfo)
    QML_VALUE_TYPE(vodInfo)
};

struct SeasonForeign
{
    Q_GADGET
    QML_FOREIGN(Season)
    QML_VALUE_TYPE(season)
};

struct EpisodeForeign
{
    Q_GADGET
    QML_FOREIGN(Episode)
    QML_VALUE_TYPE(episode)
};

struct EpgProgramForeign
{
    Q_GADGET
    QML_FOREIGN(EpgProgram)
    QML_VALUE_TYPE(epgProgram)
};

struct ThemeForeign
{
    Q_GADGET
    QML_FOREIGN(Theme)
    QML_VALUE_TYPE(theme)
};

// The full guide: `AppStore.guide`, its grid model and the values its rows carry.
struct ProgramGuideForeign
{
    Q_GADGET
    QML_FOREIGN(ProgramGuide)
    QML_NAMED_ELEMENT(ProgramGuide)
    QML_UNCREATABLE("The store owns the guide.")
};

struct GuideGridModelForeign
{
    Q_GADGET
    QML_FOREIGN(GuideGridModel)
    QML_NAMED_ELEMENT(GuideGridModel)
    QML_UNCREATABLE("The guide owns its grid.")
};

struct GuideProgramForeign
{
    Q_GADGET
    QML_FOREIGN(GuideProgram)
    QML_VALUE_TYPE(guideProgram)
};

struct GuideCellForeign
{
    Q_GADGET
    QML_FOREIGN(GuideCell)
    QML_VALUE_TYPE(guideCell)
};

struct GuideTickForeign
{
    Q_GADGET
    QML_FOREIGN(GuideTick)
    QML_VALUE_TYPE(guideTick)
};
