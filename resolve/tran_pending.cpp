/* Placeholder until the transformer lands; removed then. */
#include "zorv/zorv.h"

void ZORVTran(ZInst*, NQJournal*) {}
