// Adds a DER certificate to the current user's Root store of the Wine prefix
// the tests run in, so that HTTPS to the test server is trusted the normal
// way. Usage: certinstall <file.der>
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 2;
    FILE* f = _wfopen(argv[1], L"rb");
    if (!f)
        return 3;
    std::vector<BYTE> der;
    BYTE chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        der.insert(der.end(), chunk, chunk + n);
    fclose(f);
    BOOL ok = CertAddEncodedCertificateToSystemStoreW(L"Root", der.data(), static_cast<DWORD>(der.size()));
    HCERTSTORE machine = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                       CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (machine) {
        CertAddEncodedCertificateToStore(machine, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                         CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
        CertCloseStore(machine, 0);
    }
    return ok ? 0 : 1;
}
