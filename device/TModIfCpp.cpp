// TModIfCpp: lifetime of one device library handle.
#include "TModIfCpp.h"

TModIfCpp::TModIfCpp() { check(QV_Initialize(&m_handle)); }

// A failing QV_Finalize at shutdown has nothing left to recover: the handle is
// gone either way, so its status is dropped here rather than thrown out of a
// destructor.
TModIfCpp::~TModIfCpp() { (void)QV_Finalize(m_handle); }
