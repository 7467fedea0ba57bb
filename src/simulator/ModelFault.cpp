#include "simulator/ModelFault.h"

#include <iostream>

bool ModelFault::RaisedFlag = false;

void ModelFault::Raise(const std::string& message) {
  if (RaisedFlag) return;
  RaisedFlag = true;
  std::cout << std::flush;
  std::cerr << message << std::endl;
}
