// While a test program runs, the private service's certificate authority is one of the user's
// trusted roots, so that the engines accept the service's trusted TLS port the way they accept
// a real site. It is added before the first test, ahead of any secure connection the program
// makes, and removed after the last; the prefix's registry keeps nothing of it.
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/service_client.h"

namespace {

class TrustedServiceAuthority : public ::testing::Environment {
  public:
    void SetUp() override {
        const char* trusted = std::getenv("LZF_SERVICE_TRUSTED_TLS_URL");
        if (!trusted || !*trusted)
            return;  // the tests that need the port say so themselves
        int status = 0;
        const std::string der = ServiceGet("/__tls/authority.der", &status);
        if (status != 200 || der.empty()) {
            ADD_FAILURE() << "the service did not give its certificate authority (" << status
                          << ")";
            return;
        }
        PCCERT_CONTEXT authority = CertCreateCertificateContext(
            X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
            static_cast<DWORD>(der.size()));
        if (!authority) {
            ADD_FAILURE() << "unreadable certificate authority: " << GetLastError();
            return;
        }
        // On Windows proper, adding a root for the current user asks the user first.
        store_ =
            CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
        if (!store_) {
            ADD_FAILURE() << "cannot open the user's root store: " << GetLastError();
            CertFreeCertificateContext(authority);
            return;
        }
        RemoveExpired(authority);
        if (!CertAddCertificateContextToStore(store_, authority, CERT_STORE_ADD_REPLACE_EXISTING,
                                              &added_))
            ADD_FAILURE() << "cannot add the service's authority: " << GetLastError();
        CertFreeCertificateContext(authority);
        // The registry copy of the store is written on commit (Wine keeps changes in memory
        // until then, and the transport opens the store afresh).
        if (added_ && !CertControlStore(store_, 0, CERT_STORE_CTRL_COMMIT, nullptr))
            ADD_FAILURE() << "cannot save the root store: " << GetLastError();
    }

    void TearDown() override {
        if (added_) {
            if (!CertDeleteCertificateFromStore(added_))
                ADD_FAILURE() << "cannot remove the service's authority: " << GetLastError();
            CertControlStore(store_, 0, CERT_STORE_CTRL_COMMIT, nullptr);
            added_ = nullptr;
        }
        if (store_)
            CertCloseStore(store_, 0);
        store_ = nullptr;
    }

  private:
    // Authorities of earlier runs that ended without cleaning up (a crash) have the same name
    // and have expired by now; those of runs still going are left alone.
    void RemoveExpired(PCCERT_CONTEXT authority) {
        PCCERT_CONTEXT found = nullptr;
        while ((found =
                    CertFindCertificateInStore(store_, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_NAME,
                                               &authority->pCertInfo->Subject, found))) {
            if (CertVerifyTimeValidity(nullptr, found->pCertInfo) > 0)
                CertDeleteCertificateFromStore(CertDuplicateCertificateContext(found));
        }
        CertControlStore(store_, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    }

    HCERTSTORE store_ = nullptr;
    PCCERT_CONTEXT added_ = nullptr;
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TrustedServiceAuthority);

}  // namespace
