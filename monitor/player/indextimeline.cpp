#include "monitor/player/indextimeline.h"

namespace hub {

bool IndexTimeline::build(const QString& path, QString* error,
                          const std::function<bool(double)>& progress) {
    return index_.build(path, error, progress);
}

std::unique_ptr<PlayerTimeline> indexTimeline(const QString& path, QString* error,
                                              const std::function<bool(double)>& progress) {
    auto t = std::make_unique<IndexTimeline>();
    if (!t->build(path, error, progress)) return nullptr;
    return t;
}

} // namespace hub
