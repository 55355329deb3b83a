// Stand-in until the full read's window side is merged: it re-reads
// nothing. The change page calls FullRead() where a read-back belongs;
// delete this file when the real definition arrives.
#include "ui/TMainForm.h"

void TMainForm::FullRead()
{
}
