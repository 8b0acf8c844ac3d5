#include "support/TestContext.h"
