#include "PageCommand.h"

namespace diarytrawl {

int runPageCommand(const QStringList &arguments) {
    Q_UNUSED(arguments);
    return 64; // placeholder until the network browser lands
}

} // namespace diarytrawl
