int main() { return 0; }  // (in progress)
