int Late() { return 0; }
