#include "core/ui.h"

UserInterface::~UserInterface() = default;
