// Registers the session, database and table components and their published
// properties with the class registry, for scene descriptions.
#pragma once

#include "StoreDatabase.h"
#include "StoreSession.h"
#include "StoreTable.h"

namespace sauno {

void RegisterStoreClasses();

}  // namespace sauno
