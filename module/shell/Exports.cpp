// The package's shared library is built from the module's archive; the exported entry points live in
// shell/Package.cpp and are kept by linking the archive whole.
