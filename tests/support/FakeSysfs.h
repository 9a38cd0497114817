// A sysfs and /dev tree of USB printers for PRAX_SYSFS_ROOT and PRAX_DEV_ROOT, laid out as the
// kernel lays it out: /sys/class/usbmisc/lpN/device is the USB interface, its parent folder the
// USB device with idVendor, idProduct and the strings the device reports.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace prax::testing {

struct FakeUsbPrinter {
    std::string lp;        // "lp0"
    std::string vendorId;  // as sysfs writes it: four lower-case hex digits
    std::string productId;
    std::string serial;    // empty: the device reports none
    std::string manufacturer = "Maker";
    std::string product = "Label Printer";
    std::string node;      // what $dev/usb/lpN links to; empty: no node
    std::string interfaceClass = "07";
};

struct FakeSysfs {
    std::string sys, dev;  // the two roots
};

inline FakeSysfs BuildFakeSysfs(const std::string& root, const std::vector<FakeUsbPrinter>& printers,
                                bool driverLoaded = true) {
    namespace fs = std::filesystem;
    fs::remove_all(root);
    const FakeSysfs t{root + "/sys", root + "/dev"};
    fs::create_directories(t.sys + "/class/usbmisc");
    fs::create_directories(t.dev + "/usb");
    if (driverLoaded) fs::create_directories(t.sys + "/bus/usb/drivers/usblp");
    int port = 1;
    for (const FakeUsbPrinter& p : printers) {
        const std::string device = t.sys + "/devices/pci0000:00/usb1/1-" + std::to_string(port);
        const std::string interface = device + "/1-" + std::to_string(port) + ":1.0";
        ++port;
        fs::create_directories(interface);
        auto put = [](const std::string& file, const std::string& text) {
            if (!text.empty()) std::ofstream(file) << text << '\n';
        };
        put(device + "/idVendor", p.vendorId);
        put(device + "/idProduct", p.productId);
        put(device + "/serial", p.serial);
        put(device + "/manufacturer", p.manufacturer);
        put(device + "/product", p.product);
        put(interface + "/bInterfaceClass", p.interfaceClass);
        fs::create_directories(t.sys + "/class/usbmisc/" + p.lp);
        fs::create_directory_symlink(interface, t.sys + "/class/usbmisc/" + p.lp + "/device");
        if (!p.node.empty()) fs::create_symlink(p.node, t.dev + "/usb/" + p.lp);
    }
    return t;
}

}  // namespace prax::testing
