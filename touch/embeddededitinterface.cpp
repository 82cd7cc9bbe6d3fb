#include "embeddededitinterface.h"

EmbeddedEditInterface::~EmbeddedEditInterface() = default;
