// Putting a test's own function between this program and a function it
// imports from a DLL.
#pragma once

// The import-table slot through which this program calls module!function;
// nullptr when it does not import that function by name.
void** FindImportSlot(const char* module, const char* function);

// Writes value into slot, which the loader left read-only.
void WriteImportSlot(void** slot, void* value);
