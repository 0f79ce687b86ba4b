// Nothing: the Windows build takes every call from the system.
