#include "app/iconfont.h"

#include <QFontDatabase>
#include <QString>

// The resource lives in a static library: without this the linker drops it and the font
// silently never loads. Outside any namespace, as Q_INIT_RESOURCE requires.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace zuna {

bool registerIconFont()
{
    initResources();
    static const int id =
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/corvane-lite.ttf"));
    return id >= 0;
}

}  // namespace zuna
