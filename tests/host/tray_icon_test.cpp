#include <gtest/gtest.h>

#include "fake_platform.h"
#include "tray/tray_icon.h"
#include "tray/tray_menu.h"

namespace {

TEST(TrayIcon, ShowsTheBestIconUntilQuitAndRemovesItAfter) {
    const std::tuple<std::optional<platform::FileType>, std::optional<fake::Fault>, std::string>
        cases[] = {
            // icon.ico beside the tray, and the generic icon without it, are
            // drawn in Scenario.StartUp* and Menu.*; the failures only here.
            {platform::FileType::Regular, fake::Fault::LoadIcon, "0xa99"},
            {std::nullopt, fake::Fault::ApplicationIcon, "0x0"},
        };
    for (const auto& [icon_file, failing, icon] : cases) {
        fake::reset();
        if (icon_file)
            fake::state().file_types[L"C:\\Pellox\\icon.ico"] = *icon_file;
        if (failing)
            fake::state().failing = {*failing};
        fake::state().messages = {
            {platform::kWmCommand, static_cast<std::uintptr_t>(tray::TrayCommand::Quit), 0}};
        tray::run_tray(lifecycle::choose_language({}));
        const auto data = " window=0x777 id=1 message=0x8001 icon=" + icon + " tip=Pellox Desktop";
        EXPECT_EQ(fake::seen({"notify", "quit"}),
                  "notify-add" + data + " | quit 0 | notify-delete" + data);
    }
}

}  // namespace
