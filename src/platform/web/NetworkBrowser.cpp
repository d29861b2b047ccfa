#include "NetworkBrowser.h"
