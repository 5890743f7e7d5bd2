#pragma once

// Write (true) or delete (false) the per-user Run value that starts the
// executable at logon, naming its current path.
void SetAutostart(bool enable);
