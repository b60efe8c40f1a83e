#include "platform.h"

platform host;
