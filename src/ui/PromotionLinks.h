#pragma once

namespace ui {

// The advertised product's page on a download site: the picture, its strip and Label3 open it.
inline constexpr auto ProductPageAddress = "https://downloads.example.com/software/orvik-erp.html";

// Our home page, shown and opened by Label4.
inline constexpr auto HomePageAddress = "https://www.example.com/";

} // namespace ui
