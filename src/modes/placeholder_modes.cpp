// Placeholder so the library has a source until its first real one lands; delete it then.
namespace { [[maybe_unused]] int kv_placeholder_modes; }
