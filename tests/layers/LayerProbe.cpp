// One translation unit compiled with the include path of one layer, by the layer_build_*
// tests: it includes the header named by KELVO_PROBE_HEADER as a quoted include, the way the
// product's files do.
#include KELVO_PROBE_HEADER
