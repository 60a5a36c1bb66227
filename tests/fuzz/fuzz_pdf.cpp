// libFuzzer harness: a PDF attachment inspected and appended to a message's page.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return larkspan::fuzz::AppendDocument(data, size) < 0 ? 1 : 0;
}
