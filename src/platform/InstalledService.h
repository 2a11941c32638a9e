#pragma once

// Where a platform service is found: the one a test installed for its
// lifetime, else the program's own, made on first use. Each service names its
// own in the one file that defines its Current(), so nothing else depends on it.
template <typename Service> class InstalledService {
public:
    template <typename Own> static Service& Current()
    {
        static Own own;
        return s_installed ? *s_installed : own;
    }
    static void Install(Service* service) { s_installed = service; }

private:
    static inline Service* s_installed = nullptr;
};
