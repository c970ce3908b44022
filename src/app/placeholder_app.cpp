// app library placeholder
namespace { [[maybe_unused]] int kv_placeholder_app; }
