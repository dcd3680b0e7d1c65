// Whether another thread would find a core of its own.
#pragma once

// Whether the machine has a core that nothing runs on or waits for, by the
// system's count of threads running or waiting for a core (the fourth field
// of /proc/loadavg, before its slash), this one among them, against its
// cores. If the count cannot be read, trying tells.
bool corespare();
