// DecoderMessages: Qt's image readers log under the category qt.gui.imageio.
#include "DecoderMessages.h"

#include <QLoggingCategory>

namespace platform {

void SilenceDecoderMessages() { QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio=false")); }

}  // namespace platform
