#pragma once

#include "platform/Browser.h"

namespace diarytrawl::web {

} // namespace diarytrawl::web
