#include "plugin/LeakTracer.h"

#include <cstdio>
#include <cstring>

AllocList* allocList = nullptr;

namespace {

void printRule()
{
    std::printf("-----------------------------------------------------------\n");
}

// Records are released when they leave the list: the tracer itself must not
// leak what it was told to forget.
void deleteRecord(ALLOC_INFO* record)
{
    delete record;
}

} // namespace

void addTrack(unsigned long address, unsigned long size, const char* file, unsigned long line)
{
    if (!allocList)
        allocList = new AllocList;
    ALLOC_INFO* record = new ALLOC_INFO;
    record->address = address;
    record->size = size;
    std::memset(record->file, 0, sizeof(record->file));
    if (file)
        std::strncpy(record->file, file, sizeof(record->file) - 1);
    record->line = line;
    allocList->push_front(record);
}

void removeTrack(unsigned long address)
{
    if (!allocList)
        return;
    for (ALLOC_INFO* record : *allocList) {
        if (record->address == address) {
            allocList->remove(record);
            deleteRecord(record);
            return;
        }
    }
}

void dumpLeaks()
{
    if (!allocList)
        return;
    unsigned long long total = 0;
    printRule();
    std::printf("Memory Tracer: REPORT\n\n");
    for (const ALLOC_INFO* record : *allocList) {
        std::printf("%-50s(Line %d), Address: %X, %d bytes unfreed.\n", record->file,
                    static_cast<int>(record->line), static_cast<unsigned>(record->address),
                    static_cast<int>(record->size));
        total += record->size;
    }
    std::printf("\nTotal Memory Leaked: %d bytes\n", static_cast<int>(total));
    printRule();
}

void resetLeaksTracing()
{
    if (!allocList) {
        allocList = new AllocList;
        printRule();
        std::printf("Memory Tracer: INIT\n");
        printRule();
        return;
    }
    const size_t count = allocList->size();
    for (ALLOC_INFO* record : *allocList)
        deleteRecord(record);
    allocList->clear();
    printRule();
    std::printf("Memory Tracer: RESET (%d records deleted)\n", static_cast<int>(count));
    printRule();
}
