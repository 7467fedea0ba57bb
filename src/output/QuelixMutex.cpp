#include "output/QuelixMutex.h"

#include <cstdio>

int QuelixMutex::_globalID = 0;

QuelixMutex::QuelixMutex() {
  std::snprintf(Name, sizeof Name, "mutex%d", ++_globalID);
}

void QuelixMutex::Get() { Handle.lock(); }

void QuelixMutex::Release() { Handle.unlock(); }
