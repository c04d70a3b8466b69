/* The tree printer: the instance's Print slot and the exported subtree printer. */
#ifndef ZORV_PRINT_PRINT_H
#define ZORV_PRINT_PRINT_H

#include "zorv/support.h"
#include "zorv/zorv.h"

extern "C" {
ZORV_EXPORT void ZORVPrint(ZInst* inst, NQJournal* out);
ZORV_EXPORT void ZORVPrintSubtree(ZInst* inst, NQJournal* out, ZNode* node);
}

#endif
