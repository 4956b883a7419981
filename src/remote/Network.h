#pragma once

// Prepares the network libraries (FTP, SFTP, TLS); once per process, before
// any thread starts. False when one of them could not start.
bool initNetwork();
