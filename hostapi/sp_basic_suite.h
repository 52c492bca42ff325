// The host's basic suite: suites are obtained and given back by name and version.
#pragma once

#include "ae_basic_types.h"

typedef struct SPBasicSuite {
  // First function: obtain a suite.
  SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
  // Second function: give a suite back.
  SPErr (*ReleaseSuite)(const char* name, int32_t version);
  A_Boolean (*IsEqual)(const char* token1, const char* token2);
  SPErr (*AllocateBlock)(size_t size, void** block);
  SPErr (*FreeBlock)(void* block);
  SPErr (*ReallocateBlock)(void* block, size_t newSize, void** newblock);
  SPErr (*Undefined)(void);
} SPBasicSuite;
