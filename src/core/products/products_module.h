#pragma once
// The open modes of the first-generation PALSAR products.

namespace tessarin::app {
class AppCore;
}

namespace tessarin::products {

void registerModule(app::AppCore& app);

}  // namespace tessarin::products
