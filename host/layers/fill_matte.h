// "PF Fill Matte Suite" 2: the effect clears its output with it.
#pragma once

namespace lwhost {

class Session;

// Publishes the suite (fill 1st, fill16 2nd) on the session. Fault sites "fill" and "fill16".
// A null rectangle fills the whole world; a rectangle is clipped to the world. A colour of the
// other depth than the world's is converted to the world's scale, rounded.
void RegisterFillMatteSuite(Session& session);

}  // namespace lwhost
