#!/usr/bin/python3
"""Makes a throwaway certificate authority and server certificates for the
TLS tests, in the folder given:

    ca.pem                      the authority (the client is told to trust it)
    good.pem, good.key          for 127.0.0.1 and localhost, valid now
    other.pem, other.key        for ftp.other.example and *.other.example
    expired.pem, expired.key    for 127.0.0.1 and localhost, expired yesterday
    untrusted.pem, .key         for 127.0.0.1, signed by an authority nobody trusts
"""
import datetime
import ipaddress
import os
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID


def key():
    return ec.generate_private_key(ec.SECP256R1())


def name(text):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text)])


def authority(common_name):
    k = key()
    now = datetime.datetime.utcnow()
    cert = (x509.CertificateBuilder().subject_name(name(common_name)).issuer_name(name(common_name))
            .public_key(k.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now - datetime.timedelta(days=1)).not_valid_after(now + datetime.timedelta(days=30))
            .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
            .add_extension(x509.KeyUsage(digital_signature=True, key_cert_sign=True, crl_sign=True,
                                         content_commitment=False, key_encipherment=False, data_encipherment=False,
                                         key_agreement=False, encipher_only=False, decipher_only=False), critical=True)
            .sign(k, hashes.SHA256()))
    return k, cert


def server(ca_key, ca_cert, names, days_from, days_to):
    k = key()
    now = datetime.datetime.utcnow()
    alt = [x509.IPAddress(ipaddress.ip_address(n)) if n[0].isdigit() else x509.DNSName(n) for n in names]
    cert = (x509.CertificateBuilder().subject_name(name(names[0])).issuer_name(ca_cert.subject)
            .public_key(k.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now + datetime.timedelta(days=days_from))
            .not_valid_after(now + datetime.timedelta(days=days_to))
            .add_extension(x509.SubjectAlternativeName(alt), critical=False)
            .add_extension(x509.ExtendedKeyUsage([x509.oid.ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
            .sign(ca_key, hashes.SHA256()))
    return k, cert


def write(folder, stem, k, cert):
    with open(os.path.join(folder, stem + ".pem"), "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))
    if k is not None:
        with open(os.path.join(folder, stem + ".key"), "wb") as f:
            f.write(k.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.TraditionalOpenSSL,
                                    serialization.NoEncryption()))


def main():
    folder = sys.argv[1]
    ca_key, ca_cert = authority("Quillomar test authority")
    write(folder, "ca", None, ca_cert)
    local = ["127.0.0.1", "localhost"]
    write(folder, "good", *server(ca_key, ca_cert, local, -1, 30))
    write(folder, "other", *server(ca_key, ca_cert, ["ftp.other.example", "*.other.example"], -1, 30))
    write(folder, "expired", *server(ca_key, ca_cert, local, -30, -1))
    stranger_key, stranger_cert = authority("Nobody's authority")
    write(folder, "untrusted", *server(stranger_key, stranger_cert, local, -1, 30))


if __name__ == "__main__":
    main()
