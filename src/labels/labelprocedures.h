#pragma once

namespace sv::labels {

// Registers the frame's label procedures: the label list and wizard, a label made from the
// album in the album buffer ("CreateLabel"), the binder pages window, and the flap page of
// the album in the album buffer ("QuickCDInsert").
void registerLabelProcedures();

} // namespace sv::labels
