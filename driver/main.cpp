// QuilletVidrake: tells whether this computer meets Quillet's minimum
// requirements. The exit code is the result bit mask.
#include <stdio.h>

#include "main_flow.h"

int main()
{
    int mask;
    {
        TestRun run;
        printf("Your system is being analyzed...");
        fflush(stdout);
        mask = RunSystemTest(run);
    }
    return mask;
}
